"""A stand-in for Debian's snapshot archive: serves a folder of package files in the archive's /mr/ shapes,
every part of each path checked against the files' own control fields, as the real archive would.

  python3 snapshot_archive.py FOLDER      prints its URL, then serves until it is stopped

Imported, Archive(folder) serves from a thread; `faults` maps a path prefix to answers to give instead,
one per request: ("status", code, headers), ("cut",) for a body cut short or ("stall",) for none at all;
`names` gives a file another name in the archive's answers; `requests` lists the paths asked for.
"""
import hashlib
import http.server
import json
import subprocess
import sys
import threading
import time
import urllib.parse
from pathlib import Path


def control(path):
    """(package, version, architecture, source, source version) of a package file."""
    fields = subprocess.run(["dpkg-deb", "-f", str(path), "Package", "Version", "Architecture", "Source"],
                            capture_output=True, text=True, check=True).stdout
    values = dict(line.split(": ", 1) for line in fields.splitlines() if ": " in line)
    source, _, source_version = values.get("Source", values["Package"]).partition(" (")
    return (values["Package"], values["Version"], values["Architecture"], source,
            source_version.rstrip(")") or values["Version"])


class Archive(http.server.ThreadingHTTPServer):
    def __init__(self, folder, port=0):
        # The hash is taken now and the bytes read when asked for: a file changed meanwhile is served changed.
        self.files = {hashlib.sha1(path.read_bytes()).hexdigest(): (path, control(path))
                      for path in sorted(Path(folder).glob("*.deb"))}
        self.faults, self.names, self.requests = {}, {}, []
        self.folder = Path(folder)
        super().__init__(("127.0.0.1", port), Handler)
        threading.Thread(target=self.serve_forever, daemon=True).start()
        self.url = f"http://127.0.0.1:{self.server_port}"

    def answer(self, parts):
        """The JSON object or bytes for a path's parts, None where the archive has no such thing."""
        entries = [(digest, path, *fields) for digest, (path, fields) in self.files.items()]
        if parts[:2] == ["mr", "binary"] and len(parts) == 3:
            found = {(n, v, s, sv) for _, _, n, v, _, s, sv in entries if n == parts[2]}
            return {"result": [{"name": n, "binary_version": v, "source": s, "version": sv}
                               for n, v, s, sv in sorted(found)]} if found else None
        if parts[:2] == ["mr", "package"] and len(parts) == 5 and parts[4] == "binpackages":
            found = {(n, v) for _, _, n, v, _, s, sv in entries if [s, sv] == parts[2:4]}
            return {"result": [{"name": n, "version": v} for n, v in sorted(found)]} if found else None
        if parts[:2] == ["mr", "package"] and len(parts) == 7 and parts[4] == "binfiles":
            found = [(d, p, a) for d, p, n, v, a, s, sv in entries if [s, sv, n, v] == parts[2:4] + parts[5:7]]
            return {"result": [{"architecture": a, "hash": d} for d, _, a in found],
                    "fileinfo": {d: [{"name": self.names.get(p.name, p.name), "archive_name": "debian"}]
                                 for d, p, _ in found}} if found else None
        if parts[0] == "file" and len(parts) == 2 and parts[1] in self.files:
            return self.files[parts[1]][0].read_bytes()
        return None


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.server.requests.append(self.path)
        url = urllib.parse.urlparse(self.path)
        fault = next((faults.pop(0) for prefix, faults in self.server.faults.items()
                      if url.path.startswith(prefix) and faults), None)
        if fault and fault[0] == "stall":
            time.sleep(60)
            return
        if fault and fault[0] == "status":
            self.send_response(fault[1])
            for name, value in fault[2].items():
                self.send_header(name, value)
            self.end_headers()
            return
        parts = [urllib.parse.unquote(part) for part in url.path.strip("/").split("/")]
        body = self.server.answer(parts)
        if parts[:2] == ["mr", "package"] and parts[4:5] == ["binfiles"] and url.query != "fileinfo=1":
            body = None
        if body is None:
            self.send_response(404)
            self.end_headers()
            return
        body = body if isinstance(body, bytes) else json.dumps(body).encode()
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body[:len(body) // 2] if fault else body)

    def log_message(self, *arguments):
        pass


if __name__ == "__main__":
    print(Archive(sys.argv[1]).url, flush=True)
    threading.Event().wait()
