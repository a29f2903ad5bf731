"""What the release tools' tests share: the sources in two folders and their releases, built once a run,
and the command runner."""
import os
import shutil
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
VERSION = "1.0.0.1"
ZIPS = {arch: f"SAPI5Quillfen-{VERSION}-{arch}.zip" for arch in ("x64", "x86")}


def run(*command, check=False, **options):
    return subprocess.run([str(part) for part in command], capture_output=True, text=True, check=check, **options)


# Both copies' zips carry this repository's last commit date, as a release of it would.
os.environ["SOURCE_DATE_EPOCH"] = run("git", "-C", ROOT, "log", "-1", "--format=%ct", check=True).stdout.strip()


def refused(result, *words):
    """Exit status 1 and one line, a traceback's many lines ruled out, holding every word; notes aside."""
    lines = [line for line in result.stderr.splitlines() if not line.startswith("package-manifests: note:")]
    assert result.returncode == 1 and len(lines) == 1 and all(word in lines[0] for word in words), result


def flip_byte(path, offset=4000):
    data = bytearray(path.read_bytes())
    data[offset] ^= 1
    path.write_bytes(data)


class Built:
    """The sources copied twice, the first copy a repository whose one commit verify-release can build."""

    def __init__(self, work):
        self.work, self.src, self.dist = work, work / "a" / "SAPI5Quillfen", work / "dist-a"

    def exe(self, arch, build=None):
        return (build or self.src / "build" / "release") / arch / "SAPI5Quillfen.exe"

    def release(self, *options, **run_options):
        return run(self.src / "release" / "release", *options, **run_options)

    def git(self, *arguments):
        return run("git", "-C", self.src, "-c", "user.name=test", "-c", "user.email=test@example.invalid",
                   *arguments, check=True).stdout.strip()

    def zips_in(self, folder):
        folder.mkdir(parents=True)
        for name in ZIPS.values():
            shutil.copy(self.dist / name, folder)
        return folder


def copy_sources(target):
    """The working tree as git sees it, uncommitted changes included."""
    names = run("git", "ls-files", "-z", "--cached", "--others", "--exclude-standard", cwd=ROOT, check=True).stdout
    for name in [name for name in names.split("\0") if name and (ROOT / name).exists()]:
        (target / name).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(ROOT / name, target / name)


@pytest.fixture(scope="session")
def built(tmp_path_factory):
    built = Built(tmp_path_factory.mktemp("release"))
    other = built.work / "elsewhere" / "deeper" / "src"
    copy_sources(built.src)
    copy_sources(other)
    for step in (["init", "--quiet"], ["add", "-A"], ["commit", "--quiet", "-m", "sources"]):
        built.git(*step)
    built.release("--out", built.dist, check=True)
    run(other / "release" / "release", "--build", built.work / "other-build", "--out", built.work / "dist-b",
        check=True)
    return built

