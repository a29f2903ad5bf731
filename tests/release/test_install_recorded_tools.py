"""release/install-recorded-tools against a stand-in snapshot archive and dpkg: what differs from the record moves,
with its other architectures and its source's siblings, each file by its hash; a fault stops it in one line."""
import hashlib
import os
import shutil
import socket
import tempfile
import time
from pathlib import Path

import pytest

from helpers import ROOT, flip_byte, refused, run, stand_in
from snapshot_archive import Archive

TOOL = ROOT / "release" / "install-recorded-tools"
ZLIB, GCC = "1:1.2.13.dfsg-1+deb12u", "gcc-mingw-w64"
INSTALLED = f"""\
ii |zlib1g|amd64|{ZLIB}2|zlib|{ZLIB}2
ii |zlib1g|i386|{ZLIB}2|zlib|{ZLIB}2
ii |cmake|amd64|3.25.1-1|cmake|3.25.1-1
ii |cmake-data|all|3.25.1-1|cmake|3.25.1-1
ii |g++-mingw-w64-x86-64-posix|amd64|12.2.0-14+25.1|{GCC}|25.1
ii |gcc-mingw-w64-base|all|12.2.0-14+25.1|{GCC}|25.1
rc |python3.10|amd64|3.10.1-1|python3.10|3.10.1-1
"""
# The archive's: a compiler-shaped source, its version unlike its packages', a +bN rebuild beside an
# architecture-independent package, and a package new to the machine.
SERVED = [("zlib1g", f"{ZLIB}1", "amd64", "zlib"), ("zlib1g", f"{ZLIB}1", "i386", "zlib"),
          ("cmake", "3.25.1-1+b1", "amd64", "cmake (3.25.1-1)"), ("cmake-data", "3.25.1-1", "all", "cmake"),
          ("g++-mingw-w64-x86-64-posix", "12.2.0-14+deb12u1+25.2+b1", "amd64", f"{GCC} (25.2)"),
          ("gcc-mingw-w64-base", "12.2.0-14+25.2", "all", f"{GCC} (25.2)"), ("quillfen-new", "1.0", "all", None)]
RECORD = "".join(f"package {name}: {version}\n" for name, version, *_ in [SERVED[0], SERVED[2], SERVED[6], SERVED[4]])
MOVES = ["cmake:amd64=3.25.1-1+b1", "g++-mingw-w64-x86-64-posix:amd64=12.2.0-14+deb12u1+25.2+b1",
         "gcc-mingw-w64-base:all=12.2.0-14+25.2", "quillfen-new:amd64=1.0", f"zlib1g:amd64={ZLIB}1",
         f"zlib1g:i386={ZLIB}1"]
NEW = "quillfen-new_1.0_all.deb"


@pytest.fixture(scope="module")
def debs(tmp_path_factory):
    """Package files holding nothing but their control fields, and a dpkg-query listing INSTALLED."""
    folder = tmp_path_factory.mktemp("debs")
    for name, version, arch, source in SERVED:
        (folder / "root" / "DEBIAN").mkdir(parents=True)
        (folder / "root" / "DEBIAN" / "control").write_text(
            f"Package: {name}\nVersion: {version}\nArchitecture: {arch}\nMaintainer: test <test@example.invalid>\n"
            f"Description: test\n" + (f"Source: {source}\n" if source else ""))
        run("dpkg-deb", "--build", "--root-owner-group", folder / "root",
            folder / f"{name}_{version.split(':')[-1]}_{arch}.deb", check=True)
        shutil.rmtree(folder / "root")
    stand_in(folder / "stub", "dpkg-query", f"cat <<'LIST'\n{INSTALLED}LIST")
    return folder


@pytest.fixture
def archive(debs, tmp_path):
    archive = Archive(shutil.copytree(debs, tmp_path / "served", ignore=shutil.ignore_patterns("stub")))
    yield archive
    archive.shutdown()
    archive.server_close()


def tool(debs, tmp_path, *arguments, url, record=RECORD, deadline="60"):
    (tmp_path / "record").write_text(record, encoding="latin-1")
    environment = dict(os.environ, PATH=f"{debs / 'stub'}:{os.environ['PATH']}", QUILLFEN_SNAPSHOT=url,
                       QUILLFEN_DEADLINE=deadline)
    return run(TOOL, *arguments, tmp_path / "record", env=environment)


def test_every_architecture_and_sibling_moves_to_the_version_the_archive_lists(built, debs, tmp_path, archive):
    assert tool(debs, tmp_path, "--dry-run", url=archive.url).stdout.splitlines() == MOVES
    # The machine that wrote a record has nothing to move.
    result = run(TOOL, "--dry-run", built.dist / "BUILD-RECORD.txt")
    assert result.returncode == 0 and result.stdout == "", result


def test_a_busy_archive_is_waited_for_and_each_file_comes_by_its_hash(debs, tmp_path, archive):
    archive.faults["/mr/binary/"] = [("status", 429, {"Retry-After": "2"}), ("status", 503, {"Retry-After": "2"})]
    start = time.monotonic()
    result = tool(debs, tmp_path, "--fetch", tmp_path / "fetched", url=archive.url)
    assert result.returncode == 0 and time.monotonic() - start >= 4, result
    # cmake's +b1 rebuild leaves cmake-data as it is.
    served = {path.name: path.read_bytes() for path in (tmp_path / "served").iterdir()}
    del served["cmake-data_3.25.1-1_all.deb"]
    assert {path.name: path.read_bytes() for path in (tmp_path / "fetched").iterdir()} == served


def stall_at_the_last_file(archive):
    last = hashlib.sha1((archive.folder / "zlib1g_1.2.13.dfsg-1+deb12u1_i386.deb").read_bytes()).hexdigest()
    archive.faults[f"/file/{last}"] = [("stall",)]


@pytest.mark.parametrize("record, fault, words", [
    pytest.param(RECORD, lambda archive: archive.faults.update({"/file/": [("cut",)] * 3}),
                 ["cannot be reached", "IncompleteRead"], id="a download cut short"),
    # After the other files came: none of them is kept either.
    pytest.param(RECORD, lambda archive: flip_byte(archive.folder / NEW, 100),
                 [NEW, "does not match its SHA-1", "none is kept"], id="other bytes than its hash"),
    pytest.param(RECORD, stall_at_the_last_file, ["did not answer within the deadline"], id="no answer at the last"),
    pytest.param(RECORD, lambda archive: archive.names.update({NEW: f"../{NEW}"}),
                 ["names no plain .deb file by SHA-1 for quillfen-new 1.0"], id="a file name leaving the folder"),
    pytest.param("package zlib1g: 1:9.9-1\n", None, ["has no zlib1g 1:9.9-1"], id="an unknown version"),
    pytest.param("package quillfen-never: 1.0\n", None, ["has no quillfen-never 1.0"], id="a package never known"),
    pytest.param("package zlib1g: 1:1.2.13\xe9\n", None, ["cannot be read"], id="a record that is not text"),
    pytest.param("commit: 0\npackage zlib1g 1:1.2.13\n", None, ['no "package NAME: VERSION" line'],
                 id="a record naming no package"),
])
def test_a_fault_stops_the_run_in_one_line_and_keeps_nothing(debs, tmp_path, archive, record, fault, words):
    (fault or (lambda archive: None))(archive)
    # A download folder holding a file of the user's, which is left as it was.
    (tmp_path / "fetched").mkdir()
    (tmp_path / "fetched" / "own.txt").write_text("mine")
    result = tool(debs, tmp_path, "--fetch", tmp_path / "fetched", url=archive.url, record=record, deadline="6")
    refused(result, *words)
    assert [path.name for path in (tmp_path / "fetched").iterdir()] == ["own.txt"]


def test_an_archive_that_never_answers_stops_the_run_by_the_deadline(debs, tmp_path):
    with socket.socket() as silent:
        silent.bind(("127.0.0.1", 0))
        silent.listen(8)
        start = time.monotonic()
        url = f"http://127.0.0.1:{silent.getsockname()[1]}"
        refused(tool(debs, tmp_path, "--fetch", tmp_path / "silent", url=url, deadline="5"), "within the deadline")
    assert time.monotonic() - start < 8 and not (tmp_path / "silent").exists()


def test_installing_without_root_is_refused_before_the_archive_is_asked(archive):
    # As nobody, where the tests run as root: were the check lost, apt could change nothing.
    user = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] if os.geteuid() == 0 else []
    with tempfile.TemporaryDirectory() as folder:
        (folder := Path(folder)).chmod(0o755)
        shutil.copy(TOOL, folder)
        (folder / "record").write_text(RECORD)
        result = run(*user, folder / TOOL.name, folder / "record", env=dict(os.environ, QUILLFEN_SNAPSHOT=archive.url))
    refused(result, "installing packages needs root")
    assert archive.requests == []
