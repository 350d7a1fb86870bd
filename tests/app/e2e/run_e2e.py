#!/usr/bin/env python3
"""End-to-end scenarios of VarneloSetup.exe under Wine.

Each scenario gets a fresh copy of the build tree's initialised Wine prefix, its own HOME, its own
Xvfb screen (1024x768) and its own wineserver, sets its registry and file fixtures, starts the
real program and drives it from outside with SetupDriver.exe (window messages only, no test hooks
in the program). Scenarios run in parallel; the closing line counts them.

  run_e2e.py --build DIR --program EXE --driver EXE --payload EXE --readme RTF [-k NAME] [-j N]
"""
import argparse
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import traceback

MAIN = "Setup Assistant"
DIALOG = "Pellin Store Alert"
APP_TITLE = "Varnelo Setup Assistant"
SITE_INFO = "Visit our web site for more setup info."
RED, MAROON = 196, 0x000080
# Msg1 and Msg2: left 313, width 291, tops 188 and 201, 13 high (client coordinates).
MSG1 = (313, 188, 291, 13)
MSG2 = (313, 201, 291, 13)
# The match counter (silver, left-aligned at 315, 271).
COUNTER = (315, 271, 100, 13)
SILVER = 0xC0C0C0
# The request to mail the log, below it (visible in the 610-pixel window only).
LABEL9 = (8, 585, 596, 13)
LABEL9_TEXT = ("Click on the 'Email Support' link above then cut and paste the search log text into the "
               "message, then click send.")
# The window classes of the skinned controls the driver works.
LOG, FOLDER_BOX, DIALOG_BUTTON = "TsuiMemo", "TsuiComboBox", "TsuiButton"
NOTE_TEXT = "NOTE: It Appears That This Version\r\nof Varnelo Is Already Installed."
WARNING_TEXT = "WARNING: It Appears That A Newer Version\r\nof Varnelo Is Already Installed."
TIMER_MS = 333
IN_USE = "Unable to continue - Quit Varnelo if it is running"
OLD_PROGRAM = b"MZ the installed build 143\n"
OLD_README = b"{\\rtf1 the installed build's README}\n"

OPTS = None
SOURCE_ROOT = os.path.realpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", ".."))


class Failure(Exception):
    pass


def check(cond, message):
    if not cond:
        raise Failure(message)


def unescape(text):
    return text.replace("\\r", "\r").replace("\\n", "\n").replace("\\\\", "\\")


class Scenario:
    """One fresh Wine world: prefix, home, screen, server."""

    def __init__(self, name):
        self.name = name
        self.root = tempfile.mkdtemp(prefix="va-e2e-%s-" % name)
        self.prefix = os.path.join(self.root, "prefix")
        self.home = os.path.join(self.root, "home")
        os.makedirs(self.home)
        self.log = []
        self.programs = []
        self.mounts = []
        started = time.monotonic()
        shutil.copytree(os.path.join(OPTS.build, "wine", "template"), self.prefix, symlinks=True)
        self.note("prefix copied in %.1f s" % (time.monotonic() - started))
        self.xvfb, display = self._start_xvfb()
        self.env = dict(os.environ)
        self.env.update({
            "HOME": self.home,
            "WINEPREFIX": self.prefix,
            "WINEARCH": "win32",
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
            "DISPLAY": display,
            # No fontconfig folders or rules of the host: the prefix's own faces alone.
            "FONTCONFIG_FILE": os.path.join(SOURCE_ROOT, "scripts", "fonts.conf"),
        })
        subprocess.run(["wineserver", "-p"], env=self.env, check=False,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for folder in ("C:\\fixture\\Desktop", "C:\\fixture\\Programs"):
            os.makedirs(self.host(folder), exist_ok=True)

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                                 "-nolisten", "tcp"], pass_fds=(write_end,),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        check(number.strip(), "Xvfb did not start")
        return proc, ":" + number.decode().strip()

    def note(self, text):
        self.log.append(text)

    def close(self):
        for flag in ("-k", "-w"):
            subprocess.run(["wineserver", flag], env=self.env, check=False, timeout=30,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for proc in self.programs:
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
        for target in self.mounts:
            try:
                privileged(["umount", "-l", target])
            except Failure as e:
                self.note(str(e))
        self.xvfb.terminate()
        try:
            self.xvfb.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.xvfb.kill()
        for _ in range(3):
            shutil.rmtree(self.root, ignore_errors=True)
            if not os.path.exists(self.root):
                break
            time.sleep(0.5)

    # --- files and registry ---

    def host(self, win_path):
        """The Linux path of a C: or D: path of this prefix."""
        drive = win_path[0].lower()
        rest = win_path[3:].replace("\\", "/")
        if drive == "c":
            return os.path.join(self.prefix, "drive_c", rest)
        return os.path.join(os.path.realpath(os.path.join(self.prefix, "dosdevices", drive + ":")), rest)

    def map_drive(self, letter):
        target = os.path.join(self.root, "drive_" + letter.lower())
        os.makedirs(target)
        os.symlink(target, os.path.join(self.prefix, "dosdevices", letter.lower() + ":"))

    def mount_drive(self, letter, size_kb):
        """A drive of its own small volume (tmpfs), so that it can fill up or turn read-only."""
        target = os.path.join(self.root, "drive_" + letter.lower())
        os.makedirs(target)
        privileged(["mount", "-t", "tmpfs", "-o", "size=%dk,mode=0755" % size_kb, "tmpfs", target])
        self.mounts.append(target)
        os.symlink(target, os.path.join(self.prefix, "dosdevices", letter.lower() + ":"))
        return target

    def read_only(self, target):
        privileged(["mount", "-o", "remount,ro", target])

    def files(self, win_folder):
        """Name -> contents of every entry in a folder (folders map to None)."""
        folder = self.host(win_folder)
        out = {}
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            if os.path.isdir(path):
                out[name] = None
            else:
                with open(path, "rb") as f:
                    out[name] = f.read()
        return out

    def write(self, win_path, data=b"MZ fixture\n"):
        path = self.host(win_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def vendor(self, folder, exes=("zntHeadsetCenter.exe",), markers=("jdq.dll", "jdq_utils.dll")):
        for name in tuple(exes) + tuple(markers):
            self.write(folder + name)

    def registry(self, programs="C:\\fixture\\Programs", desktop="C:\\fixture\\Desktop", install_path=None):
        """Shell folders in both keys (Wine rebuilds one from the other) and the vendor value."""
        def esc(v):
            return v.replace("\\", "\\\\")
        lines = ["REGEDIT4", ""]
        for key in ("Shell Folders", "User Shell Folders"):
            lines.append("[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\%s]" % key)
            lines.append('"Desktop"="%s"' % esc(desktop))
            lines.append('"Programs"=%s' % ('"%s"' % esc(programs) if programs is not None else "-"))
            lines.append("")
        if install_path is not None:
            lines.append("[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZanticSystems\\CurrentVersion]")
            lines.append('"InstallPath"="%s"' % esc(install_path))
            lines.append("")
        reg = os.path.join(self.root, "fixture.reg")
        with open(reg, "w", newline="\r\n") as f:
            f.write("\n".join(lines) + "\n")
        self.wine("regedit", "/S", reg)

    def ini_path(self):
        return self.host("C:\\windows\\Kestrelon")

    def write_ini(self, values):
        with open(self.ini_path(), "w", newline="\r\n") as f:
            f.write("[Setup Assistant]\n")
            for key, value in values.items():
                f.write("%s=%s\n" % (key, value))

    def read_ini(self):
        path = self.ini_path()
        if not os.path.exists(path):
            return None
        section, result = None, {}
        with open(path, "r", errors="replace") as f:
            for raw in f:
                line = raw.strip()
                if line.startswith("["):
                    section = line[1:-1]
                elif "=" in line and section == "Setup Assistant":
                    key, value = line.split("=", 1)
                    result[key] = value
        return result

    # --- processes ---

    def wine(self, *args, timeout=60):
        return subprocess.run(["wine"] + list(args), env=self.env, check=False, timeout=timeout,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              text=True, errors="replace")

    def start(self, wait_for=MAIN):
        log = os.path.join(self.root, "program-%d.log" % len(self.programs))
        with open(log, "w") as out:
            proc = subprocess.Popen(["wine", OPTS.program], env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=subprocess.STDOUT)
        proc.log = log
        self.programs.append(proc)
        self.drive(["wait-window", wait_for, "20000"])
        return proc

    def background(self, *args):
        proc = subprocess.Popen(["wine"] + list(args), env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.programs.append(proc)
        return proc

    def drive(self, *commands, expect_ok=True):
        args = []
        for command in commands:
            if args:
                args.append("--")
            args.extend(command)
        result = self.wine(OPTS.driver, *args, timeout=120)
        lines = result.stdout.splitlines()
        self.note("driver %s -> %s" % (" ".join(c[0] for c in commands), "; ".join(lines)[:400]))
        errors = [l for l in lines if l.startswith("error:")]
        if expect_ok:
            check(not errors and result.returncode == 0, "driver: %s" % "; ".join(errors or lines[-1:]))
        return lines

    def value(self, lines, key):
        for line in lines:
            if line.startswith(key + " "):
                return line[len(key) + 1:]
        raise Failure("driver printed no %r" % key)

    # --- the main window ---

    def controls(self, title=MAIN):
        """Children of a window: list of dicts, combo items and selection."""
        out = {"children": [], "items": [], "selected": None}
        for line in self.drive(["dump", title]):
            if line.startswith("child "):
                cls, visible, enabled, rect, text = line[6:].split("|", 4)
                out["children"].append({"class": cls, "visible": visible == "1", "enabled": enabled == "1",
                                        "rect": [int(v) for v in rect.split(",")], "text": unescape(text)})
            elif line.startswith("item "):
                out["items"].append(unescape(line[5:].split("|", 1)[1]))
            elif line.startswith("selected "):
                out["selected"] = int(line[9:])
        return out

    def child(self, state, cls, index=0, text=None):
        found = [c for c in state["children"] if c["class"] == cls and (text is None or c["text"] == text)]
        check(len(found) > index, "no %s %s" % (cls, text or index))
        return found[index]

    def log_lines(self, state):
        text = self.child(state, LOG)["text"]
        return [l for l in text.split("\r\n") if l]

    def dialog(self):
        """What the message dialog says, copied with Ctrl+C as a user would: its caption, its text
        and its buttons' captions (the last button first), between lines of 27 hyphens."""
        copied = unescape(self.value(self.drive(["copy", DIALOG]), "copied"))
        parts = copied.split("-" * 27)
        check(len(parts) == 5 and parts[0] == "" and parts[4] == "", "copied %r" % copied)
        caption, text, buttons = (p[2:-2] if p.startswith("\r\n") and p.endswith("\r\n") else None
                                  for p in parts[1:4])
        check(None not in (caption, text, buttons), "copied %r" % copied)
        return {"caption": caption, "text": text, "buttons": buttons.split("   ")}

    def button(self, state, caption):
        for c in state["children"]:
            if c["class"] == "TColorButton" and c["text"] == caption:
                return c
        raise Failure("no button %r" % caption)

    def install_button(self, state):
        buttons = [c for c in state["children"] if c["class"] == "TColorButton"]
        check(len(buttons) == 2, "two colour buttons expected")
        # Install is at (529, 267), Cancel at (438, 265): the right one.
        return max(buttons, key=lambda c: c["rect"][0])

    def label(self, box, color, text, style="bc"):
        left, top, width, height = box
        lines = self.drive(["label", MAIN, str(left), str(top), str(width), str(height), str(color), style, text])
        return float(self.value(lines, "label").split(" ", 1)[0])

    def check_label(self, box, color, text, style="bc"):
        score = self.label(box, color, text, style)
        check(score >= 0.9, "label at %s does not read %r (match %.2f)" % (box, text, score))

    def reddish(self, box):
        left, top, width, height = box
        return int(self.value(self.drive(["reddish", MAIN, str(left), str(top), str(width), str(height)]),
                              "reddish"))

    def wait_log(self, substring, timeout_ms=60000):
        self.drive(["wait-text", MAIN, LOG, "#0", substring, str(timeout_ms)])
        return self.controls()

    def wait_reddish(self, box, timeout_s=60):
        self.drive(["wait-ink", MAIN, "red"] + [str(v) for v in box] + [str(timeout_s * 1000)])

    def wait_exit(self, proc, timeout_s=20):
        """Waits for the program to end; returns its exit code. A crash is a failure."""
        try:
            code = proc.wait(timeout=timeout_s)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end")
        with open(proc.log, errors="replace") as f:
            output = f.read()
        check("Unhandled" not in output and "page fault" not in output,
              "the program crashed: %s" % output.strip()[:300])
        return code

    def drop_tree(self, top):
        for i in range(top):
            os.remove(self.host("C:\\Big%02d" % i))

    def big_tree(self, top, wide):
        """top x wide x wide folders below C:\\Big..., so that the search walks for a while.
        The search only reads them: scenarios share one tree, linked into each prefix."""
        shared = shared_tree(wide)
        for i in range(top):
            os.symlink(shared, self.host("C:\\Big%02d" % i))
        return top * (wide * (wide + 1) + 1)


def privileged(command):
    """Mounting needs root: the test command runs as root (or through sudo, as the README says)."""
    if os.geteuid() != 0:
        command = ["sudo", "-n"] + command
    result = subprocess.run(command, check=False, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    check(result.returncode == 0, "%s failed (it needs root): %s" % (" ".join(command), result.stdout.strip()))


tree_lock = threading.Lock()
trees = {}


def shared_tree(wide):
    """A folder holding wide x wide folders, made once per run."""
    with tree_lock:
        if wide not in trees:
            root = os.path.join(OPTS.scratch, "tree-%d" % wide)
            for j in range(wide):
                for k in range(wide):
                    os.makedirs(os.path.join(root, "a%02d" % j, "b%02d" % k))
            trees[wide] = root
        return trees[wide]


def quoted_lines(lines):
    return sorted(lines)


# --- scenarios ---

def scenario_first_run(s):
    """No INI: tall, centred window; the search runs on the Programs folder's drive only."""
    s.map_drive("D")
    s.vendor("D:\\Zantic\\Headset\\")
    s.vendor("C:\\Vendor\\Zantic\\")  # another drive: must not be searched
    s.registry(programs="D:\\Menu\\Programs")
    os.makedirs(s.host("D:\\Menu\\Programs"), exist_ok=True)
    s.start()
    lines = s.drive(["rect", MAIN])
    left, top, right, bottom = [int(v) for v in s.value(lines, "rect").split()]
    sw, sh = [int(v) for v in s.value(lines, "screen").split()]
    check(bottom - top == 610, "first run window is %d high, not 610" % (bottom - top))
    check(top == (sh - 610) // 2 and left == (sw - (right - left)) // 2,
          "window at (%d,%d) is not centred" % (left, top))
    state = s.wait_log("ONLYPATH: ")
    log = s.log_lines(state)
    check(log == ['   ADDED: "D:\\Zantic\\Headset\\"', 'ONLYPATH: ""'], "log %r" % log)
    check(state["items"] == ["D:\\Zantic\\Headset\\"], "items %r" % state["items"])
    check(state["selected"] == -1, "one candidate leaves nothing selected")
    s.check_label(LABEL9, RED, LABEL9_TEXT, style="nc")
    windows = s.drive(["windows"])
    check(not any(DIALOG in w for w in windows), "no version dialog on a first run")
    check(s.install_button(state)["enabled"], "Install is enabled with a candidate")
    s.drive(["click", MAIN, "TColorButton", "Cancel"], ["wait-gone", MAIN, "10000"])
    s.wait_exit(s.programs[-1])
    ini = s.read_ini()
    check(ini is not None, "closing writes the INI file")
    norm = [v for k, v in ini.items() if k.startswith("NormPos")]
    check(norm and all(int(v.split(",")[3]) - int(v.split(",")[1]) == 302 for v in norm),
          "closing saves the placement 302 high: %r" % norm)
    check(ini.get("Varnelo") == "0", "no build installed: %r" % ini.get("Varnelo"))


def scenario_build143_cancel(s):
    """Stored build 143: NOTE dialog, Reinstall; Cancel closes within one timer period, no search."""
    s.vendor("C:\\Vendor\\Zantic\\")
    s.registry(install_path="C:\\Vendor\\Zantic")
    s.write_ini({"Varnelo": "143", "Tamsik": "7", "ZanticPath": "C:\\Vendor\\Zantic\\"})
    s.start(wait_for=DIALOG)
    dialog = s.dialog()
    check(dialog["caption"] == DIALOG and dialog["text"] == NOTE_TEXT, "dialog says %r" % dialog)
    # Copied from the last button to the first; the buttons on screen are the same two.
    check(dialog["buttons"] == ["Cancel", "Continue"], "dialog buttons %r" % dialog["buttons"])
    shown = sorted(c["text"] for c in s.controls(DIALOG)["children"] if c["class"] == DIALOG_BUTTON)
    check(shown == ["Cancel", "Continue"], "dialog buttons on screen %r" % shown)
    main = s.controls()
    check(s.install_button(main)["text"] == "Reinstall", "Install reads %r" % s.install_button(main)["text"])
    check(s.log_lines(main) == [], "no search before the answer")
    lines = s.drive(["press", DIALOG, DIALOG_BUTTON, "Cancel"], ["wait-gone", MAIN, "5000"])
    took = int(s.value(lines, "gone").split()[-1])
    s.note("closed %d ms after Cancel" % took)
    # The timer closes it at its next tick; the bound leaves room for a loaded machine, where
    # Wine's message delivery alone can take several periods.
    check(took <= 6 * TIMER_MS, "closing took %d ms, far more than one timer period" % took)
    s.wait_exit(s.programs[-1])
    ini = s.read_ini()
    check(ini.get("Varnelo") == "143" and ini.get("Tamsik") == "7", "stored values kept: %r" % ini)


def scenario_build150_continue(s):
    """Stored build 150: WARNING dialog; Continue starts the search."""
    s.vendor("C:\\Vendor\\Zantic\\")
    s.registry(install_path="C:\\Vendor\\Zantic")
    s.write_ini({"Varnelo": "150"})
    s.start(wait_for=DIALOG)
    dialog = s.dialog()
    check(dialog["text"] == WARNING_TEXT, "dialog text %r" % dialog["text"])
    s.drive(["press", DIALOG, DIALOG_BUTTON, "Continue"])
    state = s.wait_log("ONLYPATH: ")
    check(s.log_lines(state) == ['   ADDED: "C:\\Vendor\\Zantic\\"', 'ONLYPATH: "C:\\Vendor\\Zantic\\"'],
          "log %r" % s.log_lines(state))
    check(state["items"] == ["C:\\Vendor\\Zantic\\"], "the registry folder is not added twice: %r" % state["items"])
    check(s.install_button(state)["text"] == "Reinstall", "Install reads Reinstall")


def scenario_log_lines_default(s):
    """IGNORED, SKIP, ADDED (once per folder) and DEFAULT with the maroon messages."""
    s.vendor("C:\\RECYCLER\\S-1-5\\", exes=("zntOld.exe",))
    s.vendor("C:\\Data\\RECYCLER\\", exes=("zntKeep.exe",))
    s.vendor("C:\\Half\\", exes=("zntHalf.exe",), markers=("jdq.dll",))
    s.vendor("C:\\Vendor\\Zantic\\", exes=("zntA.exe", "zntB.exe"))
    s.vendor("C:\\Other\\Zantic\\", exes=("zntC.exe",))
    s.registry(install_path="C:\\Vendor\\Zantic")
    s.start()
    state = s.wait_log(" DEFAULT: ")
    log = s.log_lines(state)
    expected = [' IGNORED: "C:\\RECYCLER\\S-1-5\\"', '   ADDED: "C:\\Data\\RECYCLER\\"',
                '**SKIP**: "C:\\Half\\"', '   ADDED: "C:\\Vendor\\Zantic\\"', '   ADDED: "C:\\Other\\Zantic\\"']
    check(sorted(log[:-1]) == sorted(expected), "search lines %r" % log)
    check(log[-1] == ' DEFAULT: "C:\\Vendor\\Zantic\\"', "last line %r" % log[-1])
    check(sorted(state["items"]) == sorted(["C:\\Data\\RECYCLER\\", "C:\\Vendor\\Zantic\\", "C:\\Other\\Zantic\\"]),
          "items %r" % state["items"])
    check(state["items"][state["selected"]] == "C:\\Vendor\\Zantic\\", "the registry folder is selected")
    # Four accepted matches (two in one folder), none of them a library.
    s.check_label(COUNTER, SILVER, "0 - 4", style="nl")
    check(s.label(COUNTER, SILVER, "0 - 3", style="nl") < 0.9, "the counter check tells counts apart")
    s.check_label(MSG1, MAROON, "Multiple potential installation folders found")
    s.check_label(MSG2, MAROON, "Please ensure you select the correct folder")
    s.drive(["wait-enabled", MAIN, "TColorButton", "Install", "3000"])


def scenario_def_err(s):
    """Candidates without the registry folder: second entry stays selected, DEF_ERR line."""
    s.vendor("C:\\A\\Zantic\\")
    s.vendor("C:\\B\\Zantic\\")
    deep = "C:\\Deep\\1\\2\\3\\4\\Zantic\\"  # below the search's depth
    s.vendor(deep)
    s.registry(install_path=deep[:-1])
    s.start()
    state = s.wait_log(" DEF_ERR: ")
    log = s.log_lines(state)
    check(log[-1] == ' DEF_ERR: "%s"' % deep, "last line %r" % log[-1])
    check(len(state["items"]) == 2 and state["selected"] == 1, "items %r selected %r" % (state["items"], state["selected"]))


def scenario_onlypath(s):
    """Nothing found but the registry names a good folder; the timer follows the typed text."""
    deep = "C:\\Deep\\1\\2\\3\\4\\Zantic\\"
    s.vendor(deep)
    s.registry(install_path=deep[:-1])
    s.start()
    state = s.wait_log("ONLYPATH: ")
    check(s.log_lines(state) == ['ONLYPATH: "%s"' % deep], "log %r" % s.log_lines(state))
    check(state["items"] == [deep], "items %r" % state["items"])
    check(s.install_button(state)["enabled"], "Install is enabled")
    s.drive(["type", MAIN, deep], ["wait-enabled", MAIN, "TColorButton", "Install", str(TIMER_MS * 3)])
    # Typing a prefix of the listed folder completes it; Delete takes the completion away.
    s.drive(["type", MAIN, deep[:-1]], ["delete", MAIN])
    check(s.child(s.controls(), FOLDER_BOX)["text"] == deep[:-1], "the box holds the typed folder")
    # A folder without its backslash hides Install at the timer's next tick.
    s.drive(["wait-hidden", MAIN, "TColorButton", "Install", str(TIMER_MS * 3)])


def scenario_install(s):
    """Install writes both files, four shortcuts, opens the README, saves the INI; next run: NOTE."""
    folder = "C:\\Vendor\\Zantic\\"
    s.vendor(folder)
    s.write(folder + "Varnelo.exe", b"an older copy")
    s.registry(install_path=folder[:-1])
    s.start()
    s.wait_log("ONLYPATH: ")
    s.drive(["pick", MAIN, "0"], ["wait-enabled", MAIN, "TColorButton", "Install", "3000"],
            ["click", MAIN, "TColorButton", "Install"], ["wait-gone", MAIN, "15000"])
    s.wait_exit(s.programs[-1])
    for name, source in (("Varnelo.exe", OPTS.payload), ("Varnelo.rtf", OPTS.readme)):
        with open(s.host(folder + name), "rb") as got, open(source, "rb") as want:
            check(got.read() == want.read(), "%s is not byte-exact" % name)
    links = {
        "C:\\fixture\\Desktop\\Varnelo.lnk": folder + "Varnelo.exe",
        "C:\\fixture\\Programs\\Varnelo.lnk": folder + "Varnelo.exe",
        "C:\\fixture\\Desktop\\Varnelo README.lnk": folder + "Varnelo.rtf",
        "C:\\fixture\\Programs\\Varnelo README.lnk": folder + "Varnelo.rtf",
    }
    for link, target in links.items():
        lines = s.drive(["shortcut", link])
        check(s.value(lines, "target").lower() == target.lower(), "%s points at %r" % (link, s.value(lines, "target")))
        check(s.value(lines, "description") == "Varnelo", "%s description" % link)
    # The README opens through the shell: the RTF association starts WordPad on it.
    s.drive(["wait-title-has", "Varnelo", "WordPad", "20000"])
    ini = s.read_ini()
    check(ini is not None, "no INI file")
    for key in ("FormVersion", "Flags", "ShowCmd", "PixelsPerInch", "Visible"):
        check(key in ini, "INI lacks %s" % key)
    check(any(k.startswith("MinMaxPos(") for k in ini) and "MinMaxPos" in ini, "INI lacks MinMaxPos")
    check(any(k.startswith("NormPos(") for k in ini) and "NormPos" in ini, "INI lacks NormPos")
    n = [int(v) for v in ini["NormPos"].split(",")]
    check(n[3] - n[1] == 302, "saved height %d" % (n[3] - n[1]))
    check(ini.get("ZanticFolder_Text") == folder, "folder box text %r" % ini.get("ZanticFolder_Text"))
    check(ini.get("Varnelo") == "143" and ini.get("ZanticPath") == folder and ini.get("Tamsik") == "0",
          "stored values %r" % ini)
    # Everything in its place: the next run knows this build.
    s.start(wait_for=DIALOG)
    check(s.dialog()["text"] == NOTE_TEXT, "the next run shows the NOTE")
    lines = s.drive(["rect", MAIN])
    left, top, right, bottom = [int(v) for v in s.value(lines, "rect").split()]
    check(bottom - top == 302, "the next run opens 302 high")
    s.drive(["press", DIALOG, DIALOG_BUTTON, "Cancel"], ["wait-gone", MAIN, "5000"])


def scenario_locked_target(s):
    """A target held open without sharing: the message box, the program quits, nothing installed."""
    folder = "C:\\Vendor\\Zantic\\"
    s.vendor(folder)
    s.write(folder + "Varnelo.exe", b"running copy")
    s.registry(install_path=folder[:-1])
    holder = s.background(OPTS.driver, "hold", folder + "Varnelo.exe", "60")
    check(holder.stdout.readline().startswith("holding"), "could not hold the target")
    s.start()
    s.wait_log("ONLYPATH: ")
    s.drive(["pick", MAIN, "0"], ["wait-enabled", MAIN, "TColorButton", "Install", "3000"],
            ["click", MAIN, "TColorButton", "Install"], ["wait-window", APP_TITLE, "10000"])
    box = s.controls(APP_TITLE)
    texts = [c["text"] for c in box["children"] if c["class"].lower() == "static"]
    check("Unable to continue - Quit Varnelo if it is running" in texts, "message box says %r" % texts)
    s.drive(["click", APP_TITLE, "Button", "OK"])
    check(s.wait_exit(s.programs[-1]) != 0, "a failed install ends the program with exit code 0")
    for link in ("C:\\fixture\\Desktop", "C:\\fixture\\Programs"):
        check(os.listdir(s.host(link)) == [], "shortcuts written to %s" % link)
    ini = s.read_ini()
    s.note("INI after the failed install: %r" % ini)
    check(ini is None or (ini.get("Varnelo") in (None, "0") and ini.get("ZanticPath") in (None, "")),
          "the failed install was remembered: %r" % ini)
    with open(s.host(folder + "Varnelo.exe"), "rb") as f:
        check(f.read() == b"running copy", "the held file changed")
    holder.kill()
    # The failure ended the program without the close that keeps the window 302 high: the next run
    # opens as high as this one was.
    s.start()
    lines = s.drive(["rect", MAIN])
    left, top, right, bottom = [int(v) for v in s.value(lines, "rect").split()]
    check(bottom - top == 610, "the run after a failed install opens %d high, not 610" % (bottom - top))


def message_box(s):
    """The texts of the program's message box, once it shows."""
    s.drive(["wait-window", APP_TITLE, "10000"])
    box = s.controls(APP_TITLE)
    return [c["text"] for c in box["children"] if c["class"].lower() == "static" and c["text"]]


def wait_exit_without_box(s, proc, timeout_s=20):
    """Waits for the program to end; a further message box on the way fails. Returns the exit code."""
    deadline = time.monotonic() + timeout_s
    while proc.poll() is None:
        if any(w.endswith("|" + APP_TITLE) for w in s.drive(["windows"])):
            raise Failure("a further message box: %r" % message_box(s))
        check(time.monotonic() < deadline, "the program did not end")
    return s.wait_exit(proc)


def installed_build(s, folder):
    """Build 143 installed in `folder` (the INI says so) with both of its files."""
    s.vendor(folder)
    s.write(folder + "Varnelo.exe", OLD_PROGRAM)
    s.write(folder + "Varnelo.rtf", OLD_README)
    s.registry(install_path=folder[:-1])
    s.write_ini({"Varnelo": "143", "Tamsik": "7", "ZanticPath": folder})


ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT, ERROR_DISK_FULL = 5, 19, 112


def with_reason(s, code):
    """The in-use text followed by the system's own reason for an error code."""
    reason = unescape(s.value(s.drive(["reason", str(code)]), "reason")).rstrip()
    return IN_USE + "\r\n\r\n" + reason.rstrip(".") + "."


def failed_reinstall(s, folder):
    """Reinstall over build 143 in `folder` fails: returns the message box text after checking
    that the program ended with a non-zero exit code and that nothing the user had changed."""
    before = s.files(folder)
    s.start(wait_for=DIALOG)
    s.drive(["press", DIALOG, DIALOG_BUTTON, "Continue"])
    s.wait_log("ONLYPATH: ")
    s.drive(["pick", MAIN, "0"], ["wait-enabled", MAIN, "TColorButton", "Reinstall", "3000"],
            ["click", MAIN, "TColorButton", "Reinstall"], ["wait-window", APP_TITLE, "10000"])
    box = s.controls(APP_TITLE)
    texts = [c["text"] for c in box["children"] if c["class"].lower() == "static" and c["text"]]
    s.drive(["click", APP_TITLE, "Button", "OK"])
    check(s.wait_exit(s.programs[-1]) != 0, "a failed install ends the program with exit code 0")
    after = s.files(folder)
    check(after == before, "the folder changed: %r became %r" % (sorted(before), sorted(after)))
    ini = s.read_ini()
    check(ini.get("Varnelo") == "143" and ini.get("ZanticPath") == folder and ini.get("Tamsik") == "7",
          "the stored build changed: %r" % {k: ini.get(k) for k in ("Varnelo", "ZanticPath", "Tamsik")})
    for link in ("C:\\fixture\\Desktop", "C:\\fixture\\Programs"):
        check(os.listdir(s.host(link)) == [], "shortcuts written to %s" % link)
    check(len(texts) == 1, "one message: %r" % texts)
    return texts[0]


def scenario_reinstall_disk_full(s):
    """The new program does not fit on the volume: the old one stays, with its README and build."""
    s.mount_drive("D", 96)
    installed_build(s, "D:\\Zantic\\")
    text = failed_reinstall(s, "D:\\Zantic\\")
    check(text == with_reason(s, ERROR_DISK_FULL), "message %r" % text)


def scenario_install_read_only(s):
    """A read-only volume: the system's reason is shown and nothing changes."""
    target = s.mount_drive("D", 1024)
    installed_build(s, "D:\\Zantic\\")
    s.read_only(target)
    text = failed_reinstall(s, "D:\\Zantic\\")
    # Windows says the volume is write-protected; Wine reports a read-only mount as access denied.
    check(text in (with_reason(s, ERROR_WRITE_PROTECT), with_reason(s, ERROR_ACCESS_DENIED)), "message %r" % text)


def scenario_reinstall_readme_in_the_way(s):
    """The README held open, then a folder of its name: the old program stays in place both times;
    a file in use gets the plain message, the folder the system's reason."""
    folder = "C:\\Vendor\\Zantic\\"
    installed_build(s, folder)
    holder = s.background(OPTS.driver, "hold", folder + "Varnelo.rtf", "60")
    check(holder.stdout.readline().startswith("holding"), "could not hold the README")
    text = failed_reinstall(s, folder)
    check(text == IN_USE, "message %r" % text)
    holder.kill()
    holder.wait()
    os.remove(s.host(folder + "Varnelo.rtf"))
    s.write(folder + "Varnelo.rtf\\notes.txt", b"the user's notes")
    text = failed_reinstall(s, folder)
    check(text == with_reason(s, ERROR_ACCESS_DENIED), "message %r" % text)
    with open(s.host(folder + "Varnelo.rtf\\notes.txt"), "rb") as f:
        check(f.read() == b"the user's notes", "the folder's contents changed")


ERROR_SHARING_VIOLATION = 32


def scenario_ini_held_open(s):
    """The INI held open by another program, recording a newer build: the log and a warning say so
    before the search; Continue and Install put the files in place and say where the record could not
    be written; the INI keeps the newer build."""
    folder = "C:\\Vendor\\Zantic\\"
    s.vendor(folder)
    s.registry(install_path=folder[:-1])
    s.write_ini({"Varnelo": "150", "Tamsik": "7", "ZanticPath": "D:\\Newer\\"})
    ini = "C:\\windows\\Kestrelon"
    holder = s.background(OPTS.driver, "hold", ini, "120")
    check(holder.stdout.readline().startswith("holding"), "could not hold the INI")
    reason = unescape(s.value(s.drive(["reason", str(ERROR_SHARING_VIOLATION)]), "reason")).rstrip().rstrip(".")
    s.start(wait_for=DIALOG)
    dialog = s.dialog()
    expected = ("WARNING: A Newer Version of Varnelo\r\nMay Already Be Installed.\r\n"
                "%s cannot be read: %s." % (ini, reason))
    check(dialog["text"] == expected, "dialog says %r" % dialog["text"])
    check(dialog["buttons"] == ["Cancel", "Continue"], "dialog buttons %r" % dialog["buttons"])
    check(s.install_button(s.controls())["text"] == "Install", "Install is offered as such")
    s.drive(["press", DIALOG, DIALOG_BUTTON, "Continue"])
    state = s.wait_log("ONLYPATH: ")
    log = s.log_lines(state)
    check(log[0] == ' INI_ERR: "%s" (cannot be read: %s)' % (ini, reason), "log %r" % log)
    s.drive(["pick", MAIN, "0"], ["wait-enabled", MAIN, "TColorButton", "Install", "3000"],
            ["click", MAIN, "TColorButton", "Install"])
    texts = message_box(s)
    check(len(texts) == 1 and ("could not be recorded in %s:\r\n%s." % (ini, reason)) in texts[0],
          "message box says %r" % texts)
    s.drive(["click", APP_TITLE, "Button", "OK"])
    check(wait_exit_without_box(s, s.programs[-1]) != 0, "an install without its record ends with exit code 0")
    for name, source in (("Varnelo.exe", OPTS.payload), ("Varnelo.rtf", OPTS.readme)):
        with open(s.host(folder + name), "rb") as got, open(source, "rb") as want:
            check(got.read() == want.read(), "%s is not in place" % name)
    holder.kill()
    holder.wait()
    kept = s.read_ini()
    check(kept == {"Varnelo": "150", "Tamsik": "7", "ZanticPath": "D:\\Newer\\"}, "the INI changed: %r" % kept)


def scenario_ini_read_only(s):
    """The INI on a read-only volume: a plain close says once that it cannot be written, and the
    INI stays as it was."""
    target = s.mount_drive("D", 64)
    s.vendor("C:\\Vendor\\Zantic\\")
    s.registry(install_path="C:\\Vendor\\Zantic")
    content = b"[Setup Assistant]\r\nVarnelo=12\r\nZanticPath=C:\\Kept\\\r\n"
    with open(os.path.join(target, "Kestrelon"), "wb") as f:
        f.write(content)
    s.read_only(target)
    os.symlink(os.path.join(target, "Kestrelon"), s.ini_path())
    s.start()
    s.wait_log("ONLYPATH: ")
    check(not any(" INI_ERR: " in l for l in s.log_lines(s.controls())), "a readable INI is no error")
    # The close writes the INI before the window goes; the message box shows meanwhile.
    s.drive(["click", MAIN, "TColorButton", "Cancel"])
    texts = message_box(s)
    check(texts == ["Unable to write to C:\\windows\\Kestrelon."], "message box says %r" % texts)
    s.drive(["click", APP_TITLE, "Button", "OK"])
    check(wait_exit_without_box(s, s.programs[-1]) == 0, "Cancel ends with exit code 0")
    with open(s.ini_path(), "rb") as f:
        check(f.read() == content, "the INI changed")


def scenario_two_instances(s):
    """A second run installs while the first is open; closing the first later keeps the install."""
    folder = "C:\\Vendor\\Zantic\\"
    s.vendor(folder)
    s.registry(install_path=folder[:-1])
    s.start()
    s.wait_log("ONLYPATH: ")
    first = "hwnd:" + s.value(s.drive(["handles", MAIN, "1", "1000"]), "hwnd")
    s.start()
    handles = [l.split()[1] for l in s.drive(["handles", MAIN, "2", "20000"]) if l.startswith("hwnd ")]
    second = "hwnd:" + [h for h in handles if "hwnd:" + h != first][0]
    s.drive(["wait-text", second, LOG, "#0", "ONLYPATH: ", "60000"], ["pick", second, "0"],
            ["wait-enabled", second, "TColorButton", "Install", "3000"],
            ["click", second, "TColorButton", "Install"], ["wait-gone", second, "15000"])
    check(s.wait_exit(s.programs[1]) == 0, "the install ends with exit code 0")
    ini = s.read_ini()
    check(ini.get("Varnelo") == "143" and ini.get("ZanticPath") == folder, "the install is stored: %r" % ini)
    s.drive(["click", first, "TColorButton", "Cancel"], ["wait-gone", first, "10000"])
    check(s.wait_exit(s.programs[0]) == 0, "Cancel ends with exit code 0")
    ini = s.read_ini()
    check(ini.get("Varnelo") == "143" and ini.get("ZanticPath") == folder,
          "closing the first run undid the install: %r" % {k: ini.get(k) for k in ("Varnelo", "ZanticPath")})
    s.start(wait_for=DIALOG)
    check(s.dialog()["text"] == NOTE_TEXT, "the next run shows the NOTE")


def scenario_stored_values_kept(s):
    """Values that are no numbers, and one of 10 MB, survive a run that changes nothing."""
    huge = "C:\\" + "x" * (10 << 20)
    s.vendor("C:\\Vendor\\Zantic\\")
    s.registry(install_path="C:\\Vendor\\Zantic")
    s.write_ini({"Varnelo": "abc", "Tamsik": "1e3", "ZanticPath": huge})
    started = time.monotonic()
    s.start()
    took = time.monotonic() - started
    s.note("the window appeared %.1f s after the start" % took)
    check(took < 10, "the window took %.1f s to appear" % took)
    check(not any(DIALOG in w for w in s.drive(["windows"])), "abc reads as build 0: no dialog")
    s.wait_log("ONLYPATH: ")
    s.drive(["click", MAIN, "TColorButton", "Cancel"], ["wait-gone", MAIN, "10000"])
    check(s.wait_exit(s.programs[-1]) == 0, "Cancel ends with exit code 0")
    ini = s.read_ini()
    check(ini.get("Varnelo") == "abc" and ini.get("Tamsik") == "1e3", "values rewritten: %r" %
          {k: ini.get(k) for k in ("Varnelo", "Tamsik")})
    check(ini.get("ZanticPath") == huge, "the long ZanticPath was not kept")


def scenario_no_programs(s):
    """No Programs folder: the two messages, no search."""
    s.vendor("C:\\Vendor\\Zantic\\")
    s.registry(programs=None, install_path="C:\\Vendor\\Zantic")
    s.start()
    s.wait_reddish(MSG1, timeout_s=20)
    s.check_label(MSG1, RED, "Can't continue, Programs Folder Not Found")
    s.check_label(MSG2, RED, SITE_INFO)
    # The handler that shows these messages starts no search (the window's unit test holds it to
    # that); nothing has been listed.
    state = s.controls()
    check(s.log_lines(state) == [] and state["items"] == [], "no search runs")
    check(not s.install_button(state)["enabled"], "Install stays disabled")


def scenario_nothing_found(s):
    """Nothing found anywhere: the messages, Install disabled; a double-click on Msg1 opens the log."""
    s.registry()
    s.start()
    s.wait_reddish(MSG1)
    s.check_label(MSG1, RED, "Cannot continue, Zezizur application not found!")
    s.check_label(MSG2, RED, SITE_INFO)
    check(s.label(MSG1, RED, "Can't continue, Programs Folder Not Found") < 0.9, "the label check tells texts apart")
    s.check_label(COUNTER, SILVER, "0  0", style="nl")
    state = s.controls()
    check(s.log_lines(state) == [] and state["items"] == [], "nothing listed")
    check(not s.install_button(state)["enabled"], "Install stays disabled")
    s.drive(["click", MAIN, "TColorButton", "Cancel"], ["wait-gone", MAIN, "10000"])
    s.wait_exit(s.programs[-1])
    # Second run opens short; the double-click shows the log again.
    s.start()
    s.wait_reddish(MSG1)
    lines = s.drive(["rect", MAIN])
    left, top, right, bottom = [int(v) for v in s.value(lines, "rect").split()]
    check(bottom - top == 302, "a later run opens 302 high, not %d" % (bottom - top))
    s.drive(["dblclick", MAIN, str(MSG1[0] + 140), str(MSG1[1] + 6)], ["wait-height", MAIN, "610", "5000"])
    lines = s.drive(["rect", MAIN])
    left, top, right, bottom = [int(v) for v in s.value(lines, "rect").split()]
    sh = int(s.value(lines, "screen").split()[1])
    check(bottom - top == 610 and top == (sh - 610) // 2, "double-click gives %d high at %d" % (bottom - top, top))


def read_ppm(data):
    """Width, height and RGB bytes of a binary PPM with maxval 255 and no comments."""
    magic, w, h, mx, rest = data.split(maxsplit=4)
    check(magic == b"P6" and mx == b"255", "not a 255-level PPM")
    return int(w), int(h), rest[:int(w) * int(h) * 3]


def find_picture(screen, picture):
    """Where picture (w, h, rgb) lies whole in screen (w, h, rgb), as (left, top), or None."""
    sw, sh, srgb = screen
    pw, ph, prgb = picture
    first = prgb[:pw * 3]
    for y in range(sh - ph + 1):
        row = srgb[y * sw * 3:(y + 1) * sw * 3]
        at = row.find(first)
        while at >= 0:
            if at % 3 == 0:
                x = at // 3
                if x + pw <= sw and all(srgb[((y + r) * sw + x) * 3:((y + r) * sw + x + pw) * 3]
                                        == prgb[r * pw * 3:(r + 1) * pw * 3] for r in range(ph)):
                    return x, y
            at = row.find(first, at + 1)
    return None


def scenario_pictures(s):
    """The window shows its two stored pictures pixel for pixel where the description puts them:
    each picture's BMP, decoded by ImageMagick, is looked for in a capture of the client area. Both
    must lie whole at their description's places, shifted alike by whatever holds them."""
    s.registry()
    s.start()
    s.wait_reddish(MSG1)  # the window has painted
    capture = "C:\\capture.ppm"
    s.drive(["capture", MAIN, "0", "0", "640", "640", capture])
    with open(s.host(capture), "rb") as f:
        screen = read_ppm(f.read())
    offsets = []
    for name, left, top in (("Banner.bmp", 7, 33), ("Logo.bmp", 377, 129)):
        decoded = subprocess.run([OPTS.convert, os.path.join(OPTS.build, "app", name), "ppm:-"],
                                 stdout=subprocess.PIPE, check=True).stdout
        at = find_picture(screen, read_ppm(decoded))
        check(at is not None, "%s is not shown pixel for pixel anywhere in the window" % name)
        s.note("%s shown at %s, described at (%d, %d)" % (name, at, left, top))
        offsets.append((at[0] - left, at[1] - top))
    check(offsets[0] == offsets[1], "the pictures are not where the description puts them: %r" % offsets)
    s.drive(["click", MAIN, "TColorButton", "Cancel"], ["wait-gone", MAIN, "10000"])
    s.wait_exit(s.programs[-1])


def search_running(s):
    """Driver commands that make sure the search runs: the window's thread has come back from the
    handler that starts it (the search begins inside it), and Msg1 is still empty (the search's
    end writes there). Reports how much red Msg1 shows, which must be none."""
    return [["sync", MAIN], ["reddish", MAIN] + [str(v) for v in MSG1]]


def scenario_cancel_long_search(s):
    """Cancel during a long search returns promptly."""
    s.big_tree(12, 40)
    s.registry()
    s.start()
    lines = s.drive(*search_running(s), ["click", MAIN, "TColorButton", "Cancel"], ["wait-gone", MAIN, "10000"])
    check(s.value(lines, "reddish") == "0", "the search finished too soon to test Cancel")
    took = int(s.value(lines, "gone").split()[-1])
    s.note("Cancel closed the window in %d ms" % took)
    check(took < 2000, "Cancel took %d ms" % took)
    check(s.wait_exit(s.programs[-1]) == 0, "Cancel ends the program with exit code 0")


def scenario_close_mid_search(s):
    """Closing the window while the search runs, every way a user can, ends the program cleanly
    and keeps what the INI holds."""
    s.registry()
    for way, top in (("button", 16), ("altf4", 16), ("wmclose", 16)):
        folders = s.big_tree(top, 40)
        s.write_ini({"Varnelo": "12", "ZanticPath": "C:\\Kept\\"})
        s.start()
        lines = s.drive(*search_running(s), ["close", MAIN, way], ["wait-gone", MAIN, "10000"])
        check(s.value(lines, "reddish") == "0", "the search of %d folders finished before the close" % folders)
        s.note("closed by %s, %s ms after the window answered, in a search of %d folders"
               % (way, s.value(lines, "synced"), folders))
        check(s.wait_exit(s.programs[-1]) == 0, "closing by %s ends the program with exit code 0" % way)
        ini = s.read_ini()
        check(ini.get("Varnelo") == "12" and ini.get("ZanticPath") == "C:\\Kept\\", "stored values kept: %r" % ini)
        n = [int(v) for v in ini["NormPos"].split(",")]
        check(n[3] - n[1] == 302, "the placement is saved 302 high")
        s.drop_tree(top)


SCENARIOS = [
    scenario_pictures,
    scenario_stored_values_kept,
    scenario_two_instances,
    scenario_ini_held_open,
    scenario_ini_read_only,
    scenario_reinstall_disk_full,
    scenario_install_read_only,
    scenario_reinstall_readme_in_the_way,
    scenario_cancel_long_search,
    scenario_close_mid_search,
    scenario_install,
    scenario_first_run,
    scenario_build143_cancel,
    scenario_build150_continue,
    scenario_log_lines_default,
    scenario_def_err,
    scenario_onlypath,
    scenario_locked_target,
    scenario_no_programs,
    scenario_nothing_found,
]

print_lock = threading.Lock()


def run_one(fn):
    name = fn.__name__[len("scenario_"):]
    started = time.monotonic()
    s = None
    try:
        s = Scenario(name)
        fn(s)
        ok, detail = True, ""
    except Exception as e:  # a failing scenario must not stop the others
        ok = False
        detail = "%s: %s" % (type(e).__name__, e)
        if not isinstance(e, Failure):
            detail += "\n" + traceback.format_exc()
    finally:
        notes = s.log if s else []
        if s:
            s.close()
    took = time.monotonic() - started
    with print_lock:
        print("%s %s (%.1f s)" % ("PASS" if ok else "FAIL", name, took))
        if not ok:
            print("    " + detail)
            for line in notes[-15:]:
                print("      | " + line)
        else:
            for line in notes:
                if line.startswith(("closed", "Cancel closed", "the window appeared")):
                    print("      " + line)
        sys.stdout.flush()
    return ok


def main():
    global OPTS
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--payload", required=True)
    parser.add_argument("--readme", required=True)
    parser.add_argument("--convert", required=True)
    parser.add_argument("-k", dest="only", default="")
    parser.add_argument("-j", dest="jobs", type=int, default=4)
    OPTS = parser.parse_args()
    base = os.path.join(OPTS.build, "wine", "template")
    if not os.path.exists(os.path.join(base, ".varnelo-prefix")):
        print("no initialised Wine prefix in %s (the wine fixture makes it)" % base)
        return 1
    chosen = [f for f in SCENARIOS if OPTS.only in f.__name__]
    started = time.monotonic()
    OPTS.scratch = tempfile.mkdtemp(prefix="va-e2e-shared-")
    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=OPTS.jobs) as pool:
            results = list(pool.map(run_one, chosen))
    finally:
        shutil.rmtree(OPTS.scratch, ignore_errors=True)
    passed = sum(results)
    print("e2e: %d scenarios in %.1f s" % (len(results), time.monotonic() - started))
    print("%d passed, %d failed" % (passed, len(results) - passed))
    return 0 if passed == len(results) else 1


if __name__ == "__main__":
    sys.exit(main())
