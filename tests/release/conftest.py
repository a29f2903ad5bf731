"""The sources as a repository and as a clone of it made as Git for Windows makes one, and their releases,
built once a run; no test changes them."""
import os
import shutil

import pytest

from helpers import ROOT, ZIPS, run

# Both builds' zips carry this repository's last commit date, as a release of it would.
os.environ["SOURCE_DATE_EPOCH"] = run("git", "-C", ROOT, "log", "-1", "--format=%ct", check=True).stdout.strip()


class Built:
    """The sources as a repository of one commit, which verify-release can build, and its release."""

    def __init__(self, work):
        self.work, self.src, self.dist = work, work / "a" / "SAPI5Quillfen", work / "dist-a"

    def exe(self, arch, build=None):
        return (build or self.src / "build" / "release") / arch / "SAPI5Quillfen.exe"

    def release(self, *options, **run_options):
        return run(self.src / "release" / "release", *options, **run_options)

    def git(self, *arguments, folder=None):
        return run("git", "-C", folder or self.src, "-c", "user.name=test", "-c", "user.email=test@example.invalid",
                   *arguments, check=True).stdout.strip()

    def clone(self, target, *options):
        self.git("clone", "--quiet", *options, self.src, target)
        return target

    def zips_in(self, folder):
        folder.mkdir(parents=True)
        for name in ZIPS.values():
            shutil.copy(self.dist / name, folder)
        return folder


@pytest.fixture(scope="session")
def built(tmp_path_factory):
    built = Built(tmp_path_factory.mktemp("release"))
    # The working tree as git sees it, uncommitted changes included.
    names = run("git", "ls-files", "-z", "--cached", "--others", "--exclude-standard", cwd=ROOT, check=True).stdout
    for name in [name for name in names.split("\0") if name and (ROOT / name).exists()]:
        (built.src / name).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(ROOT / name, built.src / name)
    for step in (["init", "--quiet"], ["add", "-A"], ["commit", "--quiet", "-m", "sources"]):
        built.git(*step)
    built.release("--out", built.dist, check=True)
    # Elsewhere, deeper, and its texts saved by a Windows editor, which git sees as no change.
    other = built.clone(built.work / "elsewhere" / "deeper" / "src", "-c", "core.autocrlf=true")
    for name in ("docs/ReadMe.txt", "LICENSE"):
        (other / name).write_bytes((other / name).read_bytes().replace(b"\n", b"\r\n"))
    run(other / "release" / "release", "--build", built.work / "other-build", "--out", built.work / "dist-b",
        check=True)
    return built
