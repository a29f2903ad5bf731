#!/usr/bin/env python3
"""End-to-end test: the built SAPI5Quillfen.exe under Wine, driven from outside as a user would.

A driver exe of the project's reads the window through the list box messages and clicks with
SendInput; keys come as X events from xdotool, since Wine delivers keys from another process only
that way. Needs a display with a window manager (scripts/headless gives one). Every wait has a
time limit, and every process started is ended by its id, the prefix's Wine processes with it.
"""
import argparse
import json
import os
import signal
import subprocess
import sys
import tempfile
import time

TITLE = "^SAPI 5 Quillfen$"
PROTECTED = " (Cannot be deleted)"


class E2E:
    def __init__(self, args):
        self.args = args
        self.apps = []
        self.failures = 0

    # -- plumbing ---------------------------------------------------------------------------
    def driver(self, *arguments, timeout=60, attempts=2):
        # Output goes through files, not pipes: Wine's own background processes, started by whichever
        # program needs them first, inherit the handles and would hold a pipe open for good.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run([self.args.wine_run, "--prefix", self.args.prefix, self.args.driver, *arguments],
                                    stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            output = out.read().decode("utf-8", "replace").strip().splitlines()
            error = err.read()
            if result.returncode != 0:
                # A driver started just as the idle wine server shuts down loses its connection before
                # it runs at all; that says nothing about the program, so it is started once more.
                if b"wine client error" in error and attempts > 1:
                    time.sleep(1)
                    return self.driver(*arguments, timeout=timeout, attempts=attempts - 1)
                raise AssertionError(f"driver {' '.join(arguments)} failed: {output} {error[-400:]!r}")
        return json.loads(output[-1]) if output else None

    def xdotool(self, *arguments):
        return subprocess.run(["xdotool", *arguments], capture_output=True, timeout=15,
                              text=True).stdout.split()

    def check(self, condition, what):
        print(("ok   " if condition else "FAIL ") + what, flush=True)
        if not condition:
            self.failures += 1
        return condition

    def wait_for(self, predicate, what, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            value = predicate()
            if value:
                return value
            time.sleep(0.1)
        raise AssertionError(f"timed out waiting for {what}")

    def start(self):
        started = time.monotonic()
        app = subprocess.Popen([self.args.wine_run, "--prefix", self.args.prefix, self.args.exe],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        self.apps.append(app)
        self.driver("wait-window", "60000", timeout=90)
        seconds = time.monotonic() - started
        window = self.wait_for(lambda: self.xdotool("search", "--onlyvisible", "--name", TITLE), "the X window")[0]
        return app, window, seconds

    def activate(self, window):
        self.xdotool("windowactivate", "--sync", window)
        time.sleep(0.3)

    def close(self, app, window):
        self.activate(window)
        self.xdotool("key", "alt+F4")
        try:
            code = app.wait(timeout=15)
        except subprocess.TimeoutExpired:
            code = None
        self.check(code == 0, f"closing the window ends the program (exit code {code})")

    def state(self):
        return self.driver("state")

    def cleanup(self):
        for app in self.apps:
            if app.poll() is None:
                try:
                    os.killpg(app.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                app.wait(timeout=10)
        env = dict(os.environ, WINEPREFIX=self.args.prefix)
        subprocess.run(["wineserver", "-k"], env=env, timeout=30, capture_output=True)

    # -- the scenarios ----------------------------------------------------------------------
    def layout_matches(self, state):
        """The controls where the layout puts them, in pixels at 96 DPI (15 twips a pixel)."""
        width, height = (value * 15 for value in state["client"])
        label, lst, button = state["label"], state["list"], state["button"]
        list_top = 96 + label[3] * 15 + 48
        button_top = height - 495 - 96
        expected = {
            "label left/top": (label[0:2], [96 / 15, 96 / 15]),
            "list": (lst, [96 / 15, list_top / 15, (width - 192) / 15, (button_top - list_top - 96) / 15]),
            "button": (button, [(width / 2 - 607.5) / 15, button_top / 15, 1215 / 15, 495 / 15]),
        }
        good = True
        for name, (actual, wanted) in expected.items():
            close = all(abs(a - w) <= 1 for a, w in zip(actual, wanted))
            good &= self.check(close, f"{name} at {actual}, layout says {[round(w, 1) for w in wanted]}")
        return good

    def drawn(self, window, rect):
        """True when the screen shows more than one colour in that rectangle of the window's client area."""
        time.sleep(0.5)
        x, y, width, height = rect
        result = subprocess.run(["import", "-window", window, "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                                 "-format", "%k", "info:"], capture_output=True, text=True, timeout=30)
        colours = int(result.stdout.strip() or 0)
        print(f"     {colours} colours in {rect}", flush=True)
        return colours > 1

    def shows_text(self, window, rect):
        """True when the inside of that rectangle holds dark text on a light ground, not a blank box."""
        time.sleep(0.5)
        x, y, width, height = rect
        inset = 4
        result = subprocess.run(["import", "-window", window, "-crop",
                                 f"{width - 2 * inset}x{height - 2 * inset}+{x + inset}+{y + inset}", "+repage",
                                 "-colorspace", "Gray", "-format", "%[fx:minima] %[fx:maxima]", "info:"],
                                capture_output=True, text=True, timeout=30)
        darkest, lightest = (float(value) for value in (result.stdout.split() or ["0", "0"]))
        print(f"     grey from {darkest:.2f} to {lightest:.2f} inside {rect}", flush=True)
        return darkest < 0.3 and lightest > 0.7

    def delete_and_resize(self):
        self.driver("seed", "standard")
        before = self.driver("dump")
        app, window, _ = self.start()

        state = self.state()
        entries = state["entries"]
        self.check(entries == ["Anna", "Bert", "MSSam" + PROTECTED, "Zora", "\u041a\u0430\u0440\u0438\u043d\u0430"],
                   f"the list shows the tokens in registry order, MSSam marked: {entries}")
        self.check(not state["deleteEnabled"] and state["selected"] == -1, "nothing selected, Delete disabled")
        self.check(state["focus"] == "list", f"the keyboard focus starts in the list ({state['focus']})")
        self.check(self.shows_text(window, state["list"]), "the list draws its entries")

        self.driver("click-entry", "2")
        state = self.wait_for(lambda: (s := self.state())["selected"] == 2 and s, "the protected entry selected")
        self.check(not state["deleteEnabled"], "clicking the protected entry leaves Delete disabled")

        self.driver("click-entry", "1")
        state = self.wait_for(lambda: (s := self.state())["selected"] == 1 and s, "Bert selected")
        self.check(state["deleteEnabled"], "clicking another entry enables Delete")

        self.driver("click-delete")
        state = self.wait_for(lambda: len((s := self.state())["entries"]) == 4 and s, "the entry gone")
        self.check(state["entries"] == ["Anna", "MSSam" + PROTECTED, "Zora", "\u041a\u0430\u0440\u0438\u043d\u0430"],
                   "Delete takes Bert off the list, the rest in order")
        self.check(state["selected"] == -1, "nothing is selected after the deletion")
        after = self.driver("dump")
        self.check(not any(line.startswith("[\\Bert") for line in after), "Bert's key tree is gone")
        self.check(after == self.without_tree(before, "Bert"), "every other token and value is unchanged")

        self.xdotool("windowsize", window, "900", "600")
        state = self.wait_for(lambda: (s := self.state())["client"][0] >= 880 and s, "the window resized")
        self.layout_matches(state)
        self.check(self.drawn(window, state["button"]), "the Delete button is drawn where the layout put it")

        self.check(state["focus"] == "button", f"the clicked button has the focus ({state['focus']})")
        self.activate(window)
        self.xdotool("key", "alt+v")
        state = self.wait_for(lambda: (s := self.state())["focus"] == "list" and s, "Alt+V to reach the list", 5)
        self.check(state["focus"] == "list", "Alt+V puts the focus on the list")
        self.xdotool("key", "Down")
        state = self.wait_for(lambda: (s := self.state())["selected"] >= 0 and s, "a selection by arrow key", 5)
        self.xdotool("key", "Home")
        state = self.wait_for(lambda: (s := self.state())["selected"] == 0 and s, "Home to select Anna", 5)
        self.check(state["deleteEnabled"], "Home selects Anna and enables Delete")
        self.xdotool("key", "Down")
        state = self.wait_for(lambda: (s := self.state())["selected"] == 1 and s, "Down to select MSSam", 5)
        chosen = state["entries"][state["selected"]]
        self.check(state["deleteEnabled"] == (PROTECTED not in chosen),
                   f"the Down arrow selects {chosen!r} and Delete follows the protection rule")

        self.close(app, window)

    @staticmethod
    def without_tree(dump, token):
        """The dump with the key tree of `token` (its header lines and their values) taken out."""
        kept, inside = [], False
        for line in dump:
            if line.startswith("["):
                inside = line == f"[\\{token}]" or line.startswith(f"[\\{token}\\")
            if not inside:
                kept.append(line)
        return kept

    def missing_key(self):
        self.driver("seed", "missing")
        app, window, _ = self.start()
        state = self.state()
        self.check(state["entries"] == [] and not state["deleteEnabled"],
                   "without a voice-token key the list is empty and Delete disabled")
        self.driver("click-delete")
        self.check(app.poll() is None and self.state()["entries"] == [], "pressing Delete then changes nothing")
        self.xdotool("windowsize", window, "900", "600")
        state = self.wait_for(lambda: (s := self.state())["client"][0] >= 880 and s, "the window resized")
        self.check(self.drawn(window, state["button"]), "the disabled Delete button is drawn after a resize")
        self.close(app, window)

    def many_tokens(self):
        self.driver("seed", "many", "2000", timeout=300)
        app, window, seconds = self.start()
        entries = self.state()["entries"]
        self.check(len(entries) == 2000 and entries[0] == "Voice 00000" and entries[-1] == "Voice 01999",
                   f"2,000 tokens are all listed, in order ({len(entries)}, window up in {seconds:.1f} s)")
        self.close(app, window)

    def run(self):
        try:
            for scenario in (self.delete_and_resize, self.missing_key, self.many_tokens):
                print(f"-- {scenario.__name__}", flush=True)
                try:
                    scenario()
                except (AssertionError, subprocess.TimeoutExpired, json.JSONDecodeError) as error:
                    self.check(False, f"{scenario.__name__}: {error}")
                    self.cleanup()
        finally:
            self.cleanup()
        print(f"{self.failures} failure(s)")
        return 1 if self.failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    return E2E(parser.parse_args()).run()


if __name__ == "__main__":
    sys.exit(main())
