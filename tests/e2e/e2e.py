#!/usr/bin/env python3
"""End-to-end test: the built SAPI5Quillfen.exe, driven from outside as a user would, under Wine or on
Windows itself.

A driver exe of the project's seeds voice tokens of its own, reads the window through the list box
messages, clicks with SendInput (only on the control meant, which it checks is what lies under the point)
and asks the speech platform for its voices. On Windows (--wine-run not given) the driver also sends the
keys with SendInput, brings the window to the front and reads the screen; under Wine it does the same
with --input driver, so that what Windows will run has run here first, and otherwise keys come as X
events from xdotool and the screen is read with ImageMagick. Wine needs a display with a window manager
(scripts/headless gives one). The window is placed wholly on the screen before anything is read off it.
Every wait has a time limit, the whole run one that ends before ctest's, every process started is ended
by its id, and the tokens seeded are removed whatever happens: the machine's own voices are never touched.
"""
import argparse
import json
import os
import signal
import struct
import subprocess
import sys
import tempfile
import time
import traceback

TITLE = "^SAPI 5 Quillfen$"
PROTECTED = " (Cannot be deleted)"
# MSAA's roles of a list and a push button.
ROLE_LIST, ROLE_PUSHBUTTON = 0x21, 0x2B
# What the clean-up keeps of the run's time limit for itself.
CLEANUP_SECONDS = 90


class TimeLimit(Exception):
    """The run's own time limit is reached: the scenarios stop and the clean-up runs."""


class E2E:
    def __init__(self, args):
        self.args = args
        self.wine = bool(args.wine_run)
        # X events and ImageMagick under Wine, unless the driver's own input and screen read are asked for.
        self.x11 = self.wine and args.input == "x11"
        self.deadline = time.monotonic() + args.time_limit - CLEANUP_SECONDS
        self.cleaning = False
        self.apps = []
        self.failures = 0
        self.scenario = "start"
        self.shot_taken = set()
        os.makedirs(args.artifacts, exist_ok=True)
        self.log_file = open(os.path.join(args.artifacts, "e2e.log"), "w", encoding="utf-8")

    # -- plumbing ---------------------------------------------------------------------------
    def log(self, text):
        print(text, flush=True)
        self.log_file.write(text + "\n")
        self.log_file.flush()

    def driver(self, *arguments, timeout=60, attempts=2):
        if not self.cleaning:
            left = self.deadline - time.monotonic()
            if left <= 0:
                raise TimeLimit(f"the run's time limit of {self.args.time_limit} s is reached")
            timeout = min(timeout, left)
        command = [self.args.driver, *arguments]
        if self.wine:
            command = [self.args.wine_run, "--prefix", self.args.prefix, *command]
        # Output goes through files, not pipes: Wine's own background processes, started by whichever
        # program needs them first, inherit the handles and would hold a pipe open for good.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run(command, stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            output = out.read().decode("utf-8", "replace").strip().splitlines()
            error = err.read()
            if result.returncode != 0:
                # A driver started just as the idle wine server shuts down loses its connection before
                # it runs at all, and Wine's loader under load may fail to start it ("ShellExecuteEx
                # failed"); neither says anything about the program, so it is started once more.
                not_started = b"wine client error" in error or any("ShellExecuteEx failed" in line for line in output)
                if self.wine and not_started and attempts > 1:
                    time.sleep(1)
                    return self.driver(*arguments, timeout=timeout, attempts=attempts - 1)
                raise AssertionError(f"driver {' '.join(arguments)} failed: {output} {error[-400:]!r}")
        return json.loads(output[-1]) if output else None

    def xdotool(self, *arguments):
        return subprocess.run(["xdotool", *arguments], capture_output=True, timeout=15,
                              text=True).stdout.split()

    def check(self, condition, what):
        self.log(("ok   " if condition else "FAIL ") + what)
        if not condition:
            self.failures += 1
            self.screenshot()
        return condition

    def screenshot(self):
        """The screen as it stands at a scenario's first failure, kept with the log."""
        if self.scenario in self.shot_taken:
            return
        self.shot_taken.add(self.scenario)
        path = os.path.join(self.args.artifacts, f"{self.scenario}.{'png' if self.x11 else 'bmp'}")
        try:
            if self.x11:
                subprocess.run(["import", "-window", "root", path], capture_output=True, timeout=30)
            else:
                self.driver("screenshot", path)
            self.log(f"     screenshot: {path}")
        except Exception as error:  # a missing screenshot must not hide the failure it was for
            self.log(f"     no screenshot: {error}")

    def wait_for(self, predicate, what, timeout=10.0):
        deadline = min(time.monotonic() + timeout, self.deadline)
        while time.monotonic() < deadline:
            value = predicate()
            if value:
                return value
            time.sleep(0.1)
        raise AssertionError(f"timed out waiting for {what}")

    def start(self):
        started = time.monotonic()
        try:
            if self.wine:
                app = subprocess.Popen([self.args.wine_run, "--prefix", self.args.prefix, self.args.exe],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
            else:
                app = subprocess.Popen([self.args.exe], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except OSError as error:  # on Windows, error 740 when the start is refused its elevation, say
            raise AssertionError(f"the program could not be started: {error}") from error
        self.apps.append(app)
        while True:
            if app.poll() is not None:
                raise AssertionError(f"the program ended before its window appeared (exit code {app.returncode})")
            try:
                self.driver("wait-window", "2000", timeout=60)
                break
            except AssertionError:
                if time.monotonic() - started > 60:
                    raise AssertionError("the program's window did not appear within 60 s") from None
        seconds = time.monotonic() - started
        window = None
        if self.x11:
            window = self.wait_for(lambda: self.xdotool("search", "--onlyvisible", "--name", TITLE),
                                   "the X window")[0]
        else:
            # Windows lets a program started by a background process open behind the others; a user's
            # start brings it to the front.
            self.activate(window)
        # Wherever the system put it, the whole window on the screen, so every point of it can be read.
        self.driver("place")
        return app, window, seconds

    def activate(self, window):
        if self.x11:
            self.xdotool("windowactivate", "--sync", window)
        else:
            self.driver("activate")
        time.sleep(0.3)

    def key(self, window, key):
        if self.x11:
            self.xdotool("key", key)
        else:
            self.driver("keys", key)

    def resize(self, window, width, height):
        if self.x11:
            self.xdotool("windowsize", window, str(width), str(height))
            self.driver("place")
        else:
            self.driver("place", str(width), str(height))

    def close(self, app, window):
        self.activate(window)
        self.key(window, "alt+F4")
        try:
            code = app.wait(timeout=15)
        except subprocess.TimeoutExpired:
            code = None
        self.check(code == 0, f"closing the window ends the program (exit code {code})")

    def state(self):
        return self.driver("state")

    def cleanup(self):
        """Ends every program started and removes the tokens seeded, each step whatever the one before did."""
        self.cleaning = True
        for app in self.apps:
            self.cleanup_step(f"ending the program (process {app.pid})", lambda: self.end(app))
        self.apps = []
        # Whatever happened, the tokens seeded go, and nothing else.
        self.cleanup_step("removing the seeded tokens", lambda: self.driver("unseed", timeout=60))
        if self.wine:
            env = dict(os.environ, WINEPREFIX=self.args.prefix)
            self.cleanup_step("ending the wine server", lambda: subprocess.run(
                ["wineserver", "-k"], env=env, timeout=15, capture_output=True))
        self.cleaning = False

    def cleanup_step(self, what, step):
        try:
            step()
        except Exception as error:
            self.check(False, f"{what}: {error}")

    def end(self, app):
        if app.poll() is None:
            try:
                if self.wine:
                    os.killpg(app.pid, signal.SIGKILL)
                else:
                    app.kill()
            except ProcessLookupError:
                pass
            app.wait(timeout=10)

    def split(self, entries):
        """The entries of the tokens seeded, and those of the machine's own."""
        return ([e for e in entries if e.startswith(self.prefix)],
                [e for e in entries if not e.startswith(self.prefix)])

    @staticmethod
    def tokens_of(dump):
        """The token names of a dump of the voice-token key, in registry order."""
        return [line[2:-1] for line in dump if line.startswith("[\\") and "\\" not in line[2:]]

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

    def screen_pixels(self, state, rect, inset=0):
        """The (red, green, blue) pixels of that rectangle of the window's client area, read off the
        screen by the driver. A rectangle not wholly on the screen is an error, never a partial read."""
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "screen.bmp")
            corner = self.driver("screenshot", path)
            with open(path, "rb") as bitmap:
                data = bitmap.read()
        offset, = struct.unpack_from("<I", data, 10)
        width, height = struct.unpack_from("<ii", data, 18)
        stride = (width * 3 + 3) & ~3
        left = state["origin"][0] + rect[0] + inset - corner["left"]
        top = state["origin"][1] + rect[1] + inset - corner["top"]
        right, bottom = left + rect[2] - 2 * inset, top + rect[3] - 2 * inset
        if left < 0 or top < 0 or right > width or bottom > height or right <= left or bottom <= top:
            raise AssertionError(f"the rectangle {rect} of the window, at ({left}, {top})-({right}, {bottom}) on"
                                 f" the screen, is not wholly inside the {width} x {height} screen read")
        pixels = []
        for y in range(top, bottom):
            row = offset + (height - 1 - y) * stride  # rows are stored bottom up
            pixels += [tuple(data[row + 3 * x + 2 - c] for c in range(3))
                       for x in range(left, right)]
        return pixels

    def drawn(self, window, state, rect):
        """True when the screen shows more than one colour in that rectangle of the window's client area."""
        time.sleep(0.5)
        if not self.x11:
            colours = len(set(self.screen_pixels(state, rect)))
            self.log(f"     {colours} colours in {rect}")
            return colours > 1
        x, y, width, height = rect
        result = subprocess.run(["import", "-window", window, "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                                 "-format", "%k", "info:"], capture_output=True, text=True, timeout=30)
        colours = int(result.stdout.strip() or 0)
        self.log(f"     {colours} colours in {rect}")
        return colours > 1

    def shows_text(self, window, state, rect):
        """True when the inside of that rectangle holds dark text on a light ground, not a blank box."""
        time.sleep(0.5)
        x, y, width, height = rect
        inset = 4
        if self.x11:
            result = subprocess.run(["import", "-window", window, "-crop",
                                     f"{width - 2 * inset}x{height - 2 * inset}+{x + inset}+{y + inset}", "+repage",
                                     "-colorspace", "Gray", "-format", "%[fx:minima] %[fx:maxima]", "info:"],
                                    capture_output=True, text=True, timeout=30)
            darkest, lightest = (float(value) for value in (result.stdout.split() or ["0", "0"]))
        else:
            greys = [(0.299 * r + 0.587 * g + 0.114 * b) / 255 for r, g, b in self.screen_pixels(state, rect, inset)]
            darkest, lightest = min(greys, default=0), max(greys, default=0)
        self.log(f"     grey from {darkest:.2f} to {lightest:.2f} inside {rect}")
        return darkest < 0.3 and lightest > 0.7

    def select(self, entry):
        """Clicks the entry of that text and waits until it is selected; gives the state then."""
        index = self.state()["entries"].index(entry)
        self.driver("click-entry", str(index))
        return self.wait_for(lambda: (s := self.state())["selected"] == index and s, f"{entry!r} selected")

    def delete(self, entry):
        """Selects the entry and clicks Delete; gives the state once the entry is gone."""
        count = len(self.select(entry)["entries"])
        self.driver("click-delete", entry)
        return self.wait_for(lambda: len((s := self.state())["entries"]) == count - 1 and s, f"{entry!r} gone")

    @staticmethod
    def without_tree(dump, *tokens):
        """The dump with the key trees of `tokens` (their header lines and their values) taken out."""
        kept, inside = [], False
        for line in dump:
            if line.startswith("["):
                inside = any(line == f"[\\{t}]" or line.startswith(f"[\\{t}\\") for t in tokens)
            if not inside:
                kept.append(line)
        return kept

    @staticmethod
    def voice_names(voices):
        """The speech platform's voices by token name (the last part of the id) with their descriptions."""
        return {voice_id.rsplit("\\", 1)[-1]: description for voice_id, description in voices}

    def delete_and_resize(self):
        P = self.prefix
        self.driver("seed", "standard")
        before, outside = self.driver("dump", "tokens"), self.driver("dump", "outside")
        other_view = self.driver("dump", "tokens", "64") if self.wow64 else None
        voices = self.voice_names(self.driver("voices"))
        app, window, _ = self.start()

        state = self.state()
        seeded, others = self.split(state["entries"])
        self.check(seeded == [P + "Anna", P + "Bert", P + "Holder", P + "Link", P + "MSSam" + PROTECTED, P + "Zora",
                              P + "\u041a\u0430\u0440\u0438\u043d\u0430"],
                   f"the list shows the tokens in registry order, MSSam marked: {seeded}")
        mine = [name for name in self.tokens_of(before) if not name.startswith(P)]
        self.check(others == mine, f"and the machine's own voices, as the registry holds them: {others}")
        if self.wow64:
            self.check(P + "64-bit view only" not in state["entries"], "a 32-bit build lists the 32-bit view only")
        self.check(not state["deleteEnabled"] and state["selected"] == -1, "nothing selected, Delete disabled")
        self.check(state["focus"] == "list", f"the keyboard focus starts in the list ({state['focus']})")
        self.check(self.shows_text(window, state, state["list"]), "the list draws its entries")
        # As a screen reader in another process reads the controls, through MSAA.
        seen = self.driver("accessible")
        names = {control: value and value["name"] for control, value in seen.items()}
        self.check(names == {"list": "Voices", "button": "Delete"},
                   f"a screen reader names the list \"Voices\" and the button \"Delete\": {names}")
        if self.wine:
            self.log("skip the controls' roles: Wine's MSAA answers another process with a plain client object")
        else:
            roles = {control: value and value["role"] for control, value in seen.items()}
            self.check(roles == {"list": ROLE_LIST, "button": ROLE_PUSHBUTTON},
                       f"and reads them as a list and a push button: {roles}")

        state = self.select(P + "MSSam" + PROTECTED)
        self.check(not state["deleteEnabled"], "clicking the protected entry leaves Delete disabled")
        state = self.select(P + "Bert")
        self.check(state["deleteEnabled"], "clicking another entry enables Delete")

        state = self.delete(P + "Bert")
        self.check(self.split(state["entries"]) == ([e for e in seeded if e != P + "Bert"], others),
                   "Delete takes Bert off the list, the rest in order")
        self.check(state["selected"] == -1, "nothing is selected after the deletion")
        after = self.driver("dump", "tokens")
        self.check(not any(line.startswith(f"[\\{P}Bert") for line in after), "Bert's key tree is gone")
        self.check(after == self.without_tree(before, P + "Bert"), "every other token and value is unchanged")
        if self.wow64:
            self.check(self.driver("dump", "tokens", "64") == other_view,
                       "the 64-bit view's token of the same name and every other stay")

        # A token that is a link, and one holding a link: each goes as the link it is, the keys they
        # point to stay.
        self.delete(P + "Link")
        self.delete(P + "Holder")
        after = self.driver("dump", "tokens")
        self.check(after == self.without_tree(before, P + "Bert", P + "Link", P + "Holder"),
                   "deleting the link tokens removes the links and nothing else")
        self.check(self.driver("dump", "outside") == outside, "the keys the links pointed to are untouched")
        # The speech platform's own enumeration, as every speech program finds its voices.
        gone = {P + "Bert", P + "Link", P + "Holder"}
        now = self.voice_names(self.driver("voices"))
        self.check(P + "Bert" in voices and now == {n: d for n, d in voices.items() if n not in gone},
                   f"the speech platform finds every voice it found before but the deleted ones: {sorted(now)}")

        self.resize(window, 900, 600)
        state = self.wait_for(lambda: (s := self.state())["client"][0] >= 880 and s, "the window resized")
        self.layout_matches(state)
        self.check(self.drawn(window, state, state["button"]), "the Delete button is drawn where the layout put it")

        self.check(state["focus"] == "button", f"the clicked button has the focus ({state['focus']})")
        self.activate(window)
        self.key(window, "alt+v")
        state = self.wait_for(lambda: (s := self.state())["focus"] == "list" and s, "Alt+V to reach the list", 5)
        self.check(state["focus"] == "list", "Alt+V puts the focus on the list")
        self.key(window, "Down")
        state = self.wait_for(lambda: (s := self.state())["selected"] >= 0 and s, "a selection by arrow key", 5)
        self.key(window, "Home")
        state = self.wait_for(lambda: (s := self.state())["selected"] == 0 and s, "Home to select the first", 5)
        first = state["entries"][0]
        self.check(state["deleteEnabled"] == (PROTECTED not in first),
                   f"Home selects {first!r} and Delete follows the protection rule")
        self.key(window, "Down")
        state = self.wait_for(lambda: (s := self.state())["selected"] == 1 and s, "Down to select the second", 5)
        chosen = state["entries"][state["selected"]]
        self.check(state["deleteEnabled"] == (PROTECTED not in chosen),
                   f"the Down arrow selects {chosen!r} and Delete follows the protection rule")

        self.close(app, window)

    def missing_key(self):
        if not self.wine:
            self.log("skip: no voice-token key at all is made only in Wine's throwaway prefix")
            return
        self.driver("missing")
        app, window, _ = self.start()
        state = self.state()
        self.check(state["entries"] == [] and not state["deleteEnabled"],
                   "without a voice-token key the list is empty and Delete disabled")
        self.driver("click-delete")
        self.check(app.poll() is None and self.state()["entries"] == [], "pressing Delete then changes nothing")
        self.resize(window, 900, 600)
        state = self.wait_for(lambda: (s := self.state())["client"][0] >= 880 and s, "the window resized")
        self.check(self.drawn(window, state, state["button"]), "the disabled Delete button is drawn after a resize")
        self.close(app, window)

    def many_tokens(self):
        self.driver("seed", "many", "2000", timeout=300)
        app, window, seconds = self.start()
        seeded, _ = self.split(self.state()["entries"])
        self.check(len(seeded) == 2000 and seeded[0] == self.prefix + "Voice 00000"
                   and seeded[-1] == self.prefix + "Voice 01999",
                   f"2,000 tokens are all listed, in order ({len(seeded)}, window up in {seconds:.1f} s)")
        self.close(app, window)

    def run(self):
        try:
            info = self.driver("info")
            self.prefix, self.wow64 = info["prefix"], info["wow64"]
            where = "under Wine" if info["wine"] else "on Windows"
            self.log(f"-- {where}, {'a 32-bit build on 64-bit' if self.wow64 else 'the native view'}")
            for scenario in (self.delete_and_resize, self.missing_key, self.many_tokens):
                self.scenario = scenario.__name__
                self.log(f"-- {scenario.__name__}")
                try:
                    scenario()
                except TimeLimit as error:
                    self.check(False, f"{scenario.__name__}: {error}; the scenarios left do not run")
                    break
                except Exception as error:  # reported, and the next scenario still runs
                    if not isinstance(error, (AssertionError, subprocess.TimeoutExpired)):
                        self.log("".join(traceback.format_exception(type(error), error, error.__traceback__)).rstrip())
                    self.check(False, f"{scenario.__name__}: {error}")
                    self.cleanup()
        finally:
            self.cleanup()
        self.log(f"{self.failures} failure(s)")
        return 1 if self.failures else 0


def main():
    # The entries hold Cyrillic, which a Windows console's or pipe's code page cannot show.
    sys.stdout.reconfigure(encoding="utf-8", errors="replace")
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--wine-run", help="scripts/wine-run: run under Wine (without it, natively on Windows)")
    parser.add_argument("--prefix", help="the Wine prefix, with --wine-run")
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--artifacts", required=True, help="where the log and any failure's screenshot go")
    parser.add_argument("--input", choices=("x11", "driver"), default="x11",
                        help="under Wine: keys and screen through X (xdotool, ImageMagick) or the driver's own")
    parser.add_argument("--time-limit", type=float, default=540,
                        help="seconds for the whole run, clean-up included; less than ctest's limit")
    return E2E(parser.parse_args()).run()


if __name__ == "__main__":
    sys.exit(main())
