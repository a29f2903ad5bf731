"""release/release and release/verify-release: the same bytes from any folder and checkout, none from changed files,
signing, and a verdict that vouches for exactly what was checked, and for the tag's commit only."""
import os
import shutil
import zipfile
from types import SimpleNamespace

import pytest

from helpers import ROOT, ZIPS, flip_byte, refused, run, stand_in


@pytest.fixture(scope="session")
def signed(built):
    """A release signed with a throwaway code-signing certificate whose key has a password."""
    work = built.work
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-keyout", work / "key.pem", "-out", work / "cert.pem",
        "-days", "2", "-nodes", "-subj", "/CN=SAPI 5 Quillfen test signer", "-addext",
        "extendedKeyUsage=codeSigning", check=True)
    (work / "password").write_text("pass word")
    run("openssl", "pkcs12", "-export", "-in", work / "cert.pem", "-inkey", work / "key.pem", "-out",
        work / "signer.pfx", "-passout", f"file:{work / 'password'}", check=True)
    built.release("--sign", work / "signer.pfx", "--password-file", work / "password", "--out", work / "signed",
                  check=True)
    return SimpleNamespace(dist=work / "signed", certificate=work / "cert.pem", pfx=work / "signer.pfx")


def test_two_folders_and_checkouts_give_the_same_bytes_and_each_zip_the_exe_read_me_and_licence(built):
    assert (built.dist / "SHA256SUMS").read_bytes() == (built.work / "dist-b" / "SHA256SUMS").read_bytes()
    for arch in ZIPS:
        assert built.exe(arch).read_bytes() == built.exe(arch, built.work / "other-build").read_bytes(), arch
    assert run("sha256sum", "--quiet", "-c", "SHA256SUMS", cwd=built.dist).returncode == 0
    with zipfile.ZipFile(built.dist / ZIPS["x64"]) as archive:
        assert archive.namelist() == ["SAPI5Quillfen.exe", "ReadMe.txt", "License.txt"]
        assert archive.read("SAPI5Quillfen.exe") == built.exe("x64").read_bytes()
        assert archive.read("License.txt") == (ROOT / "LICENSE").read_bytes().replace(b"\n", b"\r\n")


def test_a_tree_that_differs_from_its_commit_is_refused_before_anything_is_built(built, tmp_path):
    clone = built.clone(tmp_path / "changed")
    (clone / "LICENSE").write_text("changed\n")
    (clone / "docs" / "ReadMe.txt").unlink()
    refused(run(clone / "release" / "release", "--out", tmp_path / "out"),
            "LICENSE docs/ReadMe.txt differ from commit", "nothing was built or written")
    assert not (tmp_path / "out").exists() and not (clone / "build").exists()


def test_a_signed_exe_verifies_and_without_its_signature_is_the_unsigned_one(built, signed, tmp_path):
    with zipfile.ZipFile(signed.dist / ZIPS["x64"]) as archive:
        exe = archive.extract("SAPI5Quillfen.exe", tmp_path)
    assert run("osslsigncode", "verify", "-CAfile", signed.certificate, "-in", exe).returncode == 0
    run("osslsigncode", "remove-signature", "-in", exe, "-out", tmp_path / "unsigned.exe", check=True)
    assert (tmp_path / "unsigned.exe").read_bytes() == built.exe("x64").read_bytes()
    # The password may come from the environment instead, and reaches the signing of both exes.
    environment = {**os.environ, "QUILLFEN_SIGN_PASSWORD": "pass word"}
    assert built.release("--sign", signed.pfx, "--out", tmp_path / "env", env=environment).returncode == 0
    assert (tmp_path / "env" / "SAPI5Quillfen-1.0.0.1-x86.exe.p7s").is_file()


def verify(source, download, *options, **run_options):
    return run(source / "release" / "verify-release", *options, download, **run_options)


def sums(download, *lines):
    (download / "SHA256SUMS").write_text("".join(f"{line}\n" for line in lines))


def x64_line(download):
    return next(line for line in (download / "SHA256SUMS").read_text().splitlines() if ZIPS["x64"] in line)


def changed_byte(download):
    flip_byte(download / ZIPS["x86"])
    sums(download, *run("sha256sum", *ZIPS.values(), cwd=download, check=True).stdout.splitlines())


@pytest.mark.parametrize("damage, status, verdicts", [
    pytest.param(lambda download: None, 0, [(f"OK       {ZIPS['x64']}", "signature attached")],
                 id="the signed release"),
    pytest.param(changed_byte, 1, [(f"MISMATCH {ZIPS['x86']}",)], id="a zip with one byte changed"),
    pytest.param(lambda download: shutil.copy(download / "SAPI5Quillfen-1.0.0.1-x86.exe.p7s",
                                              download / "SAPI5Quillfen-1.0.0.1-x64.exe.p7s"),
                 1, [(f"MISMATCH {ZIPS['x64']}", "signature refused")], id="another exe's signature"),
    pytest.param(lambda download: (download / ZIPS["x86"]).unlink(), 0,
                 [(f"OK       {ZIPS['x64']}",), (f"SKIPPED  {ZIPS['x86']}",)], id="the x64 zip alone"),
    pytest.param(lambda download: sums(download, x64_line(download)), 1,
                 [(f"FAILED   {ZIPS['x86']}: not listed in SHA256SUMS",)], id="a zip SHA256SUMS does not list"),
    pytest.param(lambda download: sums(download), 1, [("verify-release: no zip was verified",)],
                 id="an empty SHA256SUMS"),
    pytest.param(lambda download: (sums(download, x64_line(download), f"deadbeef  {ZIPS['x86']}"),
                                   (download / ZIPS["x86"]).unlink()), 1, [("FAILED   SHA256SUMS",)],
                 id="a line that is not a sum and a name"),
])
def test_verify_release_vouches_for_exactly_what_it_checked(built, signed, tmp_path, damage, status, verdicts):
    download = shutil.copytree(signed.dist, tmp_path / "download")
    damage(download)
    result = verify(built.src, download, cwd=built.work / "elsewhere")
    said = (result.stdout + result.stderr).splitlines()
    # Each verdict is a line that holds all its words.
    assert result.returncode == status and all(
        any(all(word in line for word in words) for line in said) for words in verdicts), result


@pytest.mark.parametrize("tag, options", [pytest.param("v-other", [], id="another commit's tag"),
                                          pytest.param("v-lightweight", [], id="a lightweight tag"),
                                          pytest.param("v-annotated", ["-a", "-m", "x"], id="an annotated tag")])
def test_a_record_is_checked_against_the_tags_commit_first(built, signed, tmp_path, tag, options):
    clone = built.clone(tmp_path / "clone")
    head = built.git("rev-parse", "HEAD", folder=clone)
    other = tag == "v-other"
    commit = built.git("commit-tree", "HEAD^{tree}", "-p", "HEAD", "-m", "other", folder=clone) if other else head
    built.git("tag", *options, tag, commit, folder=clone)
    # A record saved with Windows line ends is the same record.
    download = shutil.copytree(signed.dist, tmp_path / "crlf")
    (download / "BUILD-RECORD.txt").write_bytes((download / "BUILD-RECORD.txt").read_bytes().replace(b"\n", b"\r\n"))
    result = verify(clone, download, "--tag", tag, "--check-only")
    if commit == head:
        assert result.returncode == 0 and f"names commit {head}, which tag {tag} is" in result.stdout, result
        return
    refused(result, head, commit, "nothing was built")
    # The full run refuses it too, before any build: a cmake that is run leaves its mark.
    environment = stand_in(tmp_path / "bin", "cmake", f"touch {tmp_path / 'built'}; exit 1")
    refused(verify(clone, download, "--tag", tag, env=environment), head, commit, "nothing was built")
    assert not (tmp_path / "built").exists()


def test_an_incremental_build_follows_the_version_header(built, tmp_path):
    source, build = built.clone(tmp_path / "src"), tmp_path / "build"
    run("cmake", "-S", source, "-B", build, "-G", "Ninja", "--toolchain", source / "cmake" / "mingw-w64-x86_64.cmake",
        "-DCMAKE_BUILD_TYPE=Release", "-DQUILLFEN_TESTS=OFF", "-DQUILLFEN_BENCH=OFF", check=True)
    for version in ("1.00.0001", "9.99.0009"):
        header = source / "resources" / "version.h"
        header.write_text(header.read_text().replace('"1.00.0001"', f'"{version}"'))
        run("cmake", "--build", build, "--target", "SAPI5Quillfen", check=True)
        assert version in run("strings", "-el", build / "SAPI5Quillfen.exe", check=True).stdout.splitlines()
