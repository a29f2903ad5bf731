"""What the release tools' tests share: running a command, a refusal's shape, a byte changed, a stand-in."""
import os
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
VERSION = "1.0.0.1"
ZIPS = {arch: f"SAPI5Quillfen-{VERSION}-{arch}.zip" for arch in ("x64", "x86")}


def run(*command, check=False, **options):
    """The command's result; with check, a failure stops the test with what the command said."""
    result = subprocess.run([str(part) for part in command], capture_output=True, text=True, **options)
    if check and result.returncode:
        pytest.fail(f"{' '.join(map(str, command))} exited {result.returncode}:\n{result.stderr}{result.stdout}")
    return result


def refused(result, *words):
    """Exit status 1 and one line, a traceback's many lines ruled out, holding every word; notes aside."""
    lines = [line for line in result.stderr.splitlines() if not line.startswith("package-manifests: note:")]
    assert result.returncode == 1 and len(lines) == 1 and all(word in lines[0] for word in words), result


def flip_byte(path, offset=4000):
    data = bytearray(path.read_bytes())
    data[offset] ^= 1
    path.write_bytes(data)


def stand_in(folder, name, script):
    """The environment with a command NAME that runs SCRIPT in place of the machine's."""
    folder.mkdir(exist_ok=True)
    (folder / name).write_text(f"#!/bin/sh\n{script}\n")
    (folder / name).chmod(0o755)
    return {**os.environ, "PATH": f"{folder}:{os.environ['PATH']}"}
