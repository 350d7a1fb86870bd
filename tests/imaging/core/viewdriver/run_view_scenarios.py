#!/usr/bin/python3
"""The image view worked as a user works it: ViewDriver.exe shows a view on a form under Wine, on the
test harness's Xvfb screen; xdotool moves, drags, clicks, double-clicks and turns the wheel on it and
presses keys; the view's state comes back from the driver, its pixels from its back buffer and from a
screenshot of the screen, and ImageMagick judges the painting.

  run_view_scenarios.py --build DIR --driver EXE --convert CONVERT --import IMPORT --xdotool XDOTOOL
                        [-k NAME]

Each scenario starts a fresh driver. The closing line counts the scenarios that passed.
"""
import argparse
import math
import os
import shlex
import subprocess
import sys
import tempfile
import time
import traceback

OPTS = None
TIMEOUT = 20.0


class Failure(Exception):
    pass


def check(cond, message):
    if not cond:
        raise Failure(message)


def wine_env(build):
    """The harness's environment: its prefix, its X display."""
    env = dict(os.environ)
    with open(os.path.join(build, "wine", "env")) as f:
        for line in f:
            line = line.strip()
            if line.startswith("export "):
                key, value = line[len("export "):].split("=", 1)
                env[key] = shlex.split(value)[0] if value else ""
    return env


# ---- pictures --------------------------------------------------------------------------------------

class Picture:
    """RGB pixels, red first, rows top-down."""

    def __init__(self, w, h, data):
        self.w, self.h, self.data = w, h, bytes(data)

    def at(self, x, y):
        i = 3 * (y * self.w + x)
        return tuple(self.data[i:i + 3])

    def crop(self, x, y, w, h):
        rows = [self.data[3 * ((y + r) * self.w + x):3 * ((y + r) * self.w + x + w)] for r in range(h)]
        return Picture(w, h, b"".join(rows))


def parse_ppm(blob):
    parts, pos = [], 0
    while len(parts) < 4:
        while blob[pos:pos + 1].isspace():
            pos += 1
        if blob[pos:pos + 1] == b"#":
            pos = blob.index(b"\n", pos)
            continue
        end = pos
        while not blob[end:end + 1].isspace():
            end += 1
        parts.append(blob[pos:end])
        pos = end
    pos += 1
    check(parts[0] == b"P6" and parts[3] == b"255", "not an 8-bit PPM")
    w, h = int(parts[1]), int(parts[2])
    return Picture(w, h, blob[pos:pos + 3 * w * h])


def magick(*args):
    """ImageMagick's convert, answering a PPM on its standard output."""
    out = subprocess.run([OPTS.convert] + list(args) + ["-depth", "8", "ppm:-"], check=True,
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE).stdout
    return parse_ppm(out)


def write_ppm(path, pic):
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (pic.w, pic.h) + pic.data)


def pattern(w, h):
    """Every pixel differs from its neighbours."""
    data = bytearray()
    for y in range(h):
        for x in range(w):
            data += bytes(((x * 7 + y) % 256, (y * 5 + x // 3) % 256, (x * 3 + y * 11) % 256))
    return Picture(w, h, data)


def differences(a, b, tolerance=0):
    check(a.w == b.w and a.h == b.h, "sizes differ: %dx%d and %dx%d" % (a.w, a.h, b.w, b.h))
    bad = []
    for i in range(0, len(a.data), 3):
        if any(abs(a.data[i + k] - b.data[i + k]) > tolerance for k in range(3)):
            bad.append(((i // 3) % a.w, (i // 3) // a.w, tuple(a.data[i:i + 3]), tuple(b.data[i:i + 3])))
    return bad


def psnr(a, b):
    check(a.w == b.w and a.h == b.h, "sizes differ")
    mse = sum((x - y) ** 2 for x, y in zip(a.data, b.data)) / len(a.data)
    return float("inf") if mse == 0 else 10 * math.log10(255 * 255 / mse)


# ---- the driver and the input ---------------------------------------------------------------------------

class Driver:
    def __init__(self, scenario, client_w=400, client_h=300):
        self.scenario = scenario
        self.proc = subprocess.Popen(["wine", OPTS.driver, str(client_w), str(client_h)], env=scenario.env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                     text=True, bufsize=1)
        line = self._line()
        check(line == "ready", "the driver did not start: %r" % line)

    def _line(self):
        line = self.proc.stdout.readline()
        check(line, "the driver ended")
        return line.rstrip("\r\n")

    def cmd(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        out = []
        while True:
            reply = self._line()
            if reply == "ok":
                return out
            if reply.startswith("error:"):
                raise Failure("%s: %s" % (line, reply))
            out.append(reply)

    def state(self):
        s = {}
        for line in self.cmd("state"):
            key, value = line.split(" ", 1)
            s[key] = [float(v) for v in value.split()] if " " in value else float(value)
        return s

    def events(self):
        return {line.split()[0]: int(line.split()[1]) for line in self.cmd("events")}

    def points(self):
        return [tuple(int(v) for v in line.split()) for line in self.cmd("points")]

    def backbuffer(self):
        path = self.scenario.file("backbuffer.bmp")
        self.cmd("backbuffer Z:" + path)
        return magick(path)

    def mask(self):
        path = self.scenario.file("mask.pgm")
        self.cmd("mask Z:" + path)
        with open(path, "rb") as f:
            blob = f.read()
        header = blob.split(b"\n", 3)
        w, h = (int(v) for v in header[1].split())
        return w, h, header[3]

    def close(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.close()
                self.proc.wait(timeout=15)
            except (subprocess.TimeoutExpired, BrokenPipeError):
                self.proc.kill()


class Scenario:
    def __init__(self, name):
        self.name = name
        self.env = wine_env(OPTS.build)
        self.dir = tempfile.mkdtemp(prefix="va-view-%s-" % name)
        self.driver = None

    def file(self, name):
        return os.path.join(self.dir, name)

    def start(self, client_w=400, client_h=300):
        self.driver = Driver(self, client_w, client_h)
        return self.driver

    def load(self, pic, name="image"):
        ppm = self.file(name + ".ppm")
        write_ppm(ppm, pic)
        bmp = self.file(name + ".bmp")
        subprocess.run([OPTS.convert, ppm, "-type", "TrueColor", "BMP3:" + bmp], check=True)
        return bmp

    def xdo(self, *args):
        subprocess.run([OPTS.xdotool] + [str(a) for a in args], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    # Input in client coordinates of the view.
    def origin(self):
        s = self.driver.state()
        return int(s["originx"]), int(s["originy"])

    def move(self, x, y):
        ox, oy = self.origin()
        # --sync waits for the pointer to move, which it never does when it is there already.
        where = subprocess.run([OPTS.xdotool, "getmouselocation", "--shell"], env=self.env, check=True,
                               stdout=subprocess.PIPE, text=True).stdout
        at = dict(line.split("=", 1) for line in where.split())
        if (int(at["X"]), int(at["Y"])) != (ox + x, oy + y):
            self.xdo("mousemove", "--sync", ox + x, oy + y)

    def drag(self, start, end, steps=6, button=1, release=True):
        self.move(*start)
        self.xdo("mousedown", button)
        for i in range(1, steps + 1):
            self.move(start[0] + (end[0] - start[0]) * i // steps, start[1] + (end[1] - start[1]) * i // steps)
        if release:
            self.xdo("mouseup", button)
        self.driver.cmd("sync")

    def click(self, x, y, button=1, repeat=1):
        self.move(x, y)
        if repeat > 1:
            self.xdo("click", "--repeat", repeat, "--delay", 80, button)
        else:
            self.xdo("click", button)
        self.driver.cmd("sync")

    def wait_state(self, what, cond):
        """Waits for the view to reach a state: the answer to a timer or to input still on its way."""
        deadline = time.monotonic() + TIMEOUT
        while True:
            self.driver.cmd("sync")
            s = self.driver.state()
            if cond(s):
                return s
            if time.monotonic() > deadline:
                raise Failure("%s: never happened; state %s" % (what, s))
            time.sleep(0.05)

    def screenshot(self):
        s = self.driver.state()
        w, h, x, y = int(s["clientw"]), int(s["clienth"]), int(s["originx"]), int(s["originy"])
        out = subprocess.run([OPTS.import_, "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                              "-depth", "8", "ppm:-"], env=self.env, check=True, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE).stdout
        return parse_ppm(out)

    def expect_screen_shows_backbuffer(self):
        """The window on the X screen shows the back buffer, pixel for pixel, once Wine has flushed it."""
        back = self.driver.backbuffer()
        deadline = time.monotonic() + TIMEOUT
        while True:
            self.driver.cmd("sync")
            shot = self.screenshot()
            bad = differences(shot, back)
            if not bad:
                return
            if time.monotonic() > deadline:
                raise Failure("the screen differs from the back buffer in %d pixels, first %s" % (len(bad), bad[:3]))
            time.sleep(0.1)

    def wait_screen(self, what, cond):
        """Waits for the screen to show something: painting reaches X when Wine flushes the window."""
        deadline = time.monotonic() + TIMEOUT
        while True:
            self.driver.cmd("sync")
            shot = self.screenshot()
            if cond(shot):
                return shot
            if time.monotonic() > deadline:
                raise Failure("%s: never on the screen" % what)
            time.sleep(0.1)

    def close(self):
        if self.driver:
            self.driver.close()


# ---- painting judged by ImageMagick ------------------------------------------------------------------------

BACKGROUND = 0x00332211  # TColor: red 0x11, green 0x22, blue 0x33


def scenario_paint_whole_zooms_are_imagemagick_sample(sc):
    pic = pattern(210, 160)
    d = sc.start()
    d.cmd("load Z:" + sc.load(pic))
    d.cmd("prop Background %d" % BACKGROUND)
    d.cmd("sync")
    s = d.state()
    check((s["imagew"], s["imageh"]) == (210, 160), "image not loaded: %s" % s)
    # 100 %: the image centred on the background.
    cw, ch = int(s["clientw"]), int(s["clienth"])
    expected = magick("-size", "%dx%d" % (cw, ch), "xc:#112233", sc.file("image.ppm"), "-geometry",
                      "+%d+%d" % ((cw - 210) >> 1, (ch - 160) >> 1), "-composite")
    bad = differences(d.backbuffer(), expected)
    check(not bad, "100 %%: %d pixels differ, first %s" % (len(bad), bad[:3]))
    sc.expect_screen_shows_backbuffer()
    for zoom in (200, 300, 400):
        d.cmd("zoom %d" % zoom)
        for vx, vy in ((0, 0), (37, 11), (10 ** 6, 10 ** 6)):
            d.cmd("view %d %d" % (vx, vy))
            d.cmd("sync")
            s = d.state()
            cw, ch, vx, vy = int(s["clientw"]), int(s["clienth"]), int(s["viewx"]), int(s["viewy"])
            # The last origin has half a pixel more than the image: only what the image covers.
            w, h = min(cw, 210 * zoom // 100 - vx), min(ch, 160 * zoom // 100 - vy)
            expected = magick(sc.file("image.ppm"), "-sample", "%d%%" % zoom, "-crop", "%dx%d+%d+%d" % (w, h, vx, vy),
                              "+repage")
            bad = differences(d.backbuffer().crop(0, 0, w, h), expected)
            check(not bad, "%d %% at %d,%d: %d pixels differ, first %s" % (zoom, vx, vy, len(bad), bad[:3]))
        sc.expect_screen_shows_backbuffer()


def scenario_layers_are_imagemagick_dissolve_and_over(sc):
    base, layer = pattern(520, 400), pattern(120, 90)
    layer = Picture(120, 90, bytes(255 - v for v in layer.data))
    d = sc.start()
    d.cmd("load Z:" + sc.load(base, "base"))
    d.cmd("layer Z:%s 40 30 128 0" % sc.load(layer, "layer"))
    d.cmd("sync")
    s = d.state()
    cw, ch = int(s["clientw"]), int(s["clienth"])
    expected = magick("-compose", "dissolve", "-define", "compose:args=50", sc.file("base.ppm"),
                      sc.file("layer.ppm"), "-geometry", "+40+30", "-composite", "-crop", "%dx%d+0+0" % (cw, ch),
                      "+repage")
    bad = differences(d.backbuffer(), expected, 1)
    check(not bad, "dissolve: %d pixels differ by more than 1, first %s" % (len(bad), bad[:3]))
    # A second layer with a graded alpha channel, composed over what lies under it.
    d.cmd("prop EnableAlphaChannel 1")
    d.cmd("layer Z:%s 200 100 255 0" % sc.load(layer, "layer2"))
    alpha = sc.file("alpha.pgm")
    with open(alpha, "wb") as f:
        f.write(b"P5\n520 400\n255\n" + bytes((x * 255 // 119 if x < 120 and y < 90 else 0)
                                              for y in range(400) for x in range(520)))
    d.cmd("alpha Z:" + alpha)
    d.cmd("sync")
    with open(sc.file("alpha-small.pgm"), "wb") as f:
        f.write(b"P5\n120 90\n255\n" + bytes(x * 255 // 119 for y in range(90) for x in range(120)))
    expected = magick("-compose", "dissolve", "-define", "compose:args=50", sc.file("base.ppm"),
                      sc.file("layer.ppm"), "-geometry", "+40+30", "-composite",
                      "(", sc.file("layer2.ppm"), sc.file("alpha-small.pgm"), "-alpha", "off", "-compose", "CopyOpacity",
                      "-composite", ")", "-compose", "over", "-geometry", "+200+100", "-composite", "-crop",
                      "%dx%d+0+0" % (cw, ch), "+repage")
    bad = differences(d.backbuffer(), expected, 1)
    check(not bad, "over: %d pixels differ by more than 1, first %s" % (len(bad), bad[:3]))
    sc.expect_screen_shows_backbuffer()


def scenario_filtered_zoom_is_close_to_imagemagick_triangle(sc):
    d = sc.start()
    smooth = sc.file("smooth.ppm")
    subprocess.run([OPTS.convert, "-seed", "5", "-size", "500x380", "plasma:fractal", "-blur", "0x1", "-depth", "8",
                    smooth], check=True)
    bmp = sc.file("smooth.bmp")
    subprocess.run([OPTS.convert, smooth, "-type", "TrueColor", "BMP3:" + bmp], check=True)
    d.cmd("load Z:" + bmp)
    d.cmd("prop ZoomFilter 1")  # rfTriangle
    for zoom, (vx, vy) in ((37, (0, 0)), (250, (100, 80)), (150, (40, 30))):
        d.cmd("zoom %d" % zoom)
        d.cmd("view %d %d" % (vx, vy))
        d.cmd("sync")
        s = d.state()
        cw, ch, vx, vy = int(s["clientw"]), int(s["clienth"]), int(s["viewx"]), int(s["viewy"])
        zw, zh = round(500 * zoom / 100), round(380 * zoom / 100)
        w, h = min(cw, zw - vx), min(ch, zh - vy)
        ox, oy = (cw - w) >> 1 if zw < cw else 0, (ch - h) >> 1 if zh < ch else 0
        expected = magick(smooth, "-filter", "Triangle", "-resize", "%dx%d!" % (zw, zh), "-crop",
                          "%dx%d+%d+%d" % (w, h, vx, vy), "+repage")
        value = psnr(d.backbuffer().crop(ox, oy, w, h), expected)
        print("PSNR %d %%: %.1f dB" % (zoom, value))
        check(value >= 40, "%d %%: %.1f dB from ImageMagick's triangle filter" % (zoom, value))


# ---- the mouse and the keyboard ----------------------------------------------------------------------

MI = {"zoom": 1 << 0, "scroll": 1 << 1, "select": 1 << 2, "polygon": 1 << 3, "circle": 1 << 4,
      "selectzoom": 1 << 5, "wand": 1 << 6, "lasso": 1 << 7, "movelayers": 1 << 8, "resizelayers": 1 << 9}


def image_view(sc, w=800, h=600):
    d = sc.start()
    d.cmd("load Z:" + sc.load(pattern(w, h)))
    d.cmd("sync")
    return d


def scenario_clicks_zoom_at_the_clicked_point(sc):
    d = image_view(sc)
    d.cmd("prop MouseInteract %d" % MI["zoom"])
    s = d.state()
    px, py = 120 + int(s["viewx"]), 90 + int(s["viewy"])
    sc.click(120, 90)
    s = sc.wait_state("zoom in", lambda s: s["zoom"] == 200)
    cx, cy = int(s["clientw"]) // 2, int(s["clienth"]) // 2
    # The clicked pixel comes to the centre.
    check(abs((cx + s["viewx"]) // 2 - px) <= 1 and abs((cy + s["viewy"]) // 2 - py) <= 1,
          "the clicked pixel %d,%d is not at the centre: %s" % (px, py, s))
    sc.click(cx, cy, button=3)
    sc.wait_state("zoom out", lambda s: s["zoom"] == 100)
    ev = d.events()
    check(ev.get("zoomin") == 1 and ev.get("zoomout") == 1, "zoom events %s" % ev)


def scenario_dragging_scrolls_the_image(sc):
    d = image_view(sc)
    d.cmd("prop MouseInteract %d" % MI["scroll"])
    d.cmd("view 200 150")
    s0 = d.state()
    sc.drag((250, 200), (130, 110), steps=8)
    s = d.state()
    check(int(s["viewx"]) == int(s0["viewx"]) + 120 and int(s["viewy"]) == int(s0["viewy"]) + 90,
          "dragged by -120,-90 from %s,%s: now %s,%s" % (s0["viewx"], s0["viewy"], s["viewx"], s["viewy"]))
    sc.expect_screen_shows_backbuffer()


def scenario_wheel_zooms_keeping_the_centre(sc):
    d = image_view(sc)
    s0 = d.state()
    cx = int(s0["clientw"]) // 2 + int(s0["viewx"])
    sc.move(60, 60)
    for _ in range(3):
        sc.xdo("click", 4)
    s = sc.wait_state("wheel zoom", lambda s: abs(s["zoom"] - 100 * 1.08 ** 3) < 0.01)
    centre = (int(s["clientw"]) // 2 + s["viewx"]) * 100 / s["zoom"]
    check(abs(centre - cx) <= 2, "the centre moved from %d to %.1f" % (cx, centre))
    sc.xdo("click", 5)
    sc.wait_state("wheel zoom out", lambda s: abs(s["zoom"] - 100 * 1.08 ** 3 * 0.92) < 0.01)


def scenario_wheel_scrolls_by_its_step_and_sideways_with_ctrl(sc):
    d = image_view(sc)
    d.cmd("wheel 1 0 30 0")  # scroll, 30 pixels a notch
    sc.move(150, 120)
    for _ in range(2):
        sc.xdo("click", 5)  # towards the user: down
    sc.wait_state("two notches down", lambda s: s["viewy"] == 60 and s["viewx"] == 0)
    sc.xdo("click", 4)
    sc.wait_state("a notch up", lambda s: s["viewy"] == 30)
    sc.xdo("keydown", "ctrl")
    try:
        sc.xdo("click", 5)
    finally:
        sc.xdo("keyup", "ctrl")
    sc.wait_state("sideways with Ctrl", lambda s: s["viewx"] == 30 and s["viewy"] == 30)
    # A step of 10 % of the client's height.
    d.cmd("wheel 1 1 10 0")
    step = int(d.state()["clienth"]) * 10 // 100
    sc.xdo("click", 5)
    sc.wait_state("10 %% of the client down", lambda s: s["viewy"] == 30 + step)
    ev = d.events()
    check(ev.get("scroll", 0) >= 5 and "zoomchange" not in ev, "events %s" % ev)
    sc.expect_screen_shows_backbuffer()


def scenario_wheel_zooms_at_the_mouse(sc):
    d = image_view(sc)
    d.cmd("wheel 2 1 8 1")  # zoom by 8 % a notch, at the mouse
    d.cmd("view 50 40")
    s0 = d.state()
    mx, my = 100, 80
    px, py = mx + s0["viewx"], my + s0["viewy"]
    centre = int(s0["clientw"]) // 2 + s0["viewx"]
    sc.move(mx, my)
    for _ in range(3):
        sc.xdo("click", 4)

    def stays_under_the_mouse(what, zoom):
        s = sc.wait_state(what, lambda s: abs(s["zoom"] - zoom) < 0.01)
        under = ((mx + s["viewx"]) * 100 / s["zoom"], (my + s["viewy"]) * 100 / s["zoom"])
        check(abs(under[0] - px) <= 1 and abs(under[1] - py) <= 1,
              "%s: the pixel under the mouse moved from %d,%d to %.1f,%.1f" % (what, px, py, under[0], under[1]))
        return s

    s = stays_under_the_mouse("zoom in at the mouse", 100 * 1.08 ** 3)
    moved = (int(s["clientw"]) // 2 + s["viewx"]) * 100 / s["zoom"] - centre
    check(abs(moved) > 5, "the centre stayed: this zoom is at the mouse, not the centre")
    sc.xdo("click", 5)
    stays_under_the_mouse("zoom out at the mouse", 100 * 1.08 ** 3 * 0.92)
    ev = d.events()
    check(ev.get("zoomin") == 3 and ev.get("zoomout") == 1, "zoom events %s" % ev)


def scenario_keep_aspect_makes_squares_and_ratios(sc):
    d = image_view(sc)
    d.cmd("prop MouseInteract %d" % MI["select"])
    d.cmd("keep-aspect 1 -1")
    sc.drag((50, 40), (150, 90))
    s = d.state()
    check(s["maskbox"] == [50, 40, 150, 140], "a square from a wide drag: %s" % s.get("maskbox"))
    # Its grip keeps the ratio the rectangle had when pressed.
    sc.drag((151, 141), (201, 161))
    x1, y1, x2, y2 = d.state()["maskbox"]
    check((x1, y1) == (50, 40) and x2 - x1 == y2 - y1 and x2 > 150, "the grip kept no square: %s" % ([x1, y1, x2, y2],))
    d.cmd("deselect")
    d.cmd("keep-aspect 1 0.5")
    sc.drag((60, 60), (160, 200))
    s = d.state()
    check(s["maskbox"] == [60, 60, 160, 110], "half as high as wide: %s" % s.get("maskbox"))
    d.cmd("deselect")
    d.cmd("keep-aspect 0 0.5")
    sc.drag((60, 60), (160, 200))
    check(d.state()["maskbox"] == [60, 60, 160, 200], "without the option the drag decides")


def scenario_resting_on_a_grip_reports_it(sc):
    d = image_view(sc)
    d.cmd("prop MouseInteract %d" % MI["select"])
    sc.drag((100, 80), (200, 160))
    check(d.state()["maskbox"] == [100, 80, 200, 160], "selection %s" % d.state().get("maskbox"))

    def grips_at(x, y):
        # The grip events since the last question, once the mouse rests at x, y.
        sc.move(x, y)
        d.cmd("sync")
        return {k: v for k, v in d.events().items() if k.startswith("grip")}

    grips_at(300, 250)  # the drag's events go
    # The corners in the rectangle's point order, then the sides: left, right, top, bottom.
    spots = [(100, 80), (201, 80), (201, 161), (100, 161), (100, 120), (201, 120), (150, 80), (150, 161)]
    for grip, (x, y) in enumerate(spots, 1):
        ev = grips_at(x, y)
        check(list(ev) == ["grip%d" % grip], "resting at %d,%d: %s, not grip%d" % (x, y, ev, grip))
    for x, y in ((150, 120), (300, 250)):
        ev = grips_at(x, y)
        check(not ev, "no grip at %d,%d: %s" % (x, y, ev))


def scenario_only_the_current_layer_has_grips(sc):
    d = image_view(sc, 500, 400)
    d.cmd("layer Z:%s 20 30 255 0" % sc.load(pattern(100, 80), "layer"))
    d.cmd("prop MouseInteract %d" % MI["resizelayers"])
    # Layer 0 is current and locked: the press at layer 1's corner picks layer 1 and moves it.
    d.cmd("current 0")
    d.cmd("sync")
    w1 = d.state()["layer1"][2]
    d.events()
    sc.drag((20, 30), (40, 45))
    s = d.state()
    check(s["current"] == 1 and s["layer1"] == [40, 45, w1, s["layer1"][3]], "moved: %s" % s["layer1"])
    ev = d.events()
    check(ev.get("layer0") == 1 and ev.get("layer1") == 1 and "layer2" not in ev, "layer events %s" % ev)
    # Layer 1 current: its top left grip resizes it, the opposite corner staying.
    d.cmd("current 0")
    d.cmd("current 1")
    h1 = s["layer1"][3]
    sc.drag((40, 45), (60, 55))
    s = d.state()
    check(s["layer1"] == [60, 55, w1 - 20, h1 - 10], "resized: %s" % s["layer1"])
    ev = d.events()
    check(ev.get("layer2") == 1 and "layer0" not in ev and ev.get("layer4", 0) >= 1, "layer events %s" % ev)


def scenario_rectangle_selection_by_dragging(sc):
    d = image_view(sc)
    d.cmd("prop MouseInteract %d" % MI["select"])
    d.cmd("view 30 20")
    sc.drag((50, 40), (150, 120))
    s = d.state()
    check(s["selected"] == 1 and s["maskbox"] == [80, 60, 180, 140], "selection %s" % s)
    check(s["maskcount"] == 101 * 81, "mask holds %d pixels" % s["maskcount"])
    ev = d.events()
    check(ev.get("selectionchange") == 1 and ev.get("selectionchanging", 0) >= 1, "events %s" % ev)
    # On the screen the selection's edge is dashed in black and white over the picture, whose inside
    # shows unchanged.
    back = d.backbuffer()

    def outlined(shot):
        edge = [shot.at(x, 40) for x in range(52, 148)]
        return (all(p in ((0, 0, 0), (255, 255, 255)) for p in edge) and (0, 0, 0) in edge and
                (255, 255, 255) in edge and shot.at(100, 80) == back.at(100, 80))
    sc.wait_screen("the dashed outline", outlined)
    # A click outside the selection drops it.
    sc.click(300, 250)
    sc.wait_state("deselect", lambda s: s["selected"] == 0 and s["maskcount"] == 0)


def scenario_shift_drag_adds_a_rectangle(sc):
    d = image_view(sc)
    d.cmd("prop MouseInteract %d" % MI["select"])
    sc.drag((20, 20), (60, 50))
    sc.xdo("keydown", "shift")
    try:
        sc.drag((100, 100), (140, 130))
    finally:
        sc.xdo("keyup", "shift")
    s = d.state()
    check(s["maskcount"] == 41 * 31 * 2, "two rectangles: %s" % s)
    check(s["maskbox"] == [20, 20, 140, 130], "box %s" % s)


def scenario_moving_and_resizing_a_selection(sc):
    d = image_view(sc)
    d.cmd("prop MouseInteract %d" % MI["select"])
    sc.drag((40, 40), (100, 90))
    sc.drag((70, 60), (110, 80))  # inside: a move by 40, 20
    s = d.state()
    check(s["maskbox"] == [80, 60, 140, 110], "moved to %s" % s.get("maskbox"))
    sc.drag((141, 111), (171, 141))  # the bottom right grip
    s = d.state()
    check(s["maskbox"] == [80, 60, 171, 141], "resized to %s" % s.get("maskbox"))


def scenario_selection_scrolls_the_view_while_held_outside(sc):
    d = image_view(sc, 2000, 1500)
    d.cmd("prop MouseInteract %d" % MI["select"])
    s = d.state()
    cw = int(s["clientw"])
    sc.drag((100, 100), (cw + 40, 150), release=False)
    # One step per tick: the window keeps answering while it scrolls.
    s = sc.wait_state("automatic scrolling", lambda s: s["viewx"] >= 200)
    check(s["selecting"] == 1, "the rectangle is still being drawn: %s" % s)
    sc.xdo("mouseup", 1)
    s = sc.wait_state("release", lambda s: s["selecting"] == 0)
    stopped = s["viewx"]
    d.cmd("sync")
    check(d.state()["viewx"] == stopped, "scrolling went on after the release")
    check(s["maskbox"][0] == 100 and s["maskbox"][2] >= stopped + cw - 1, "the selection followed: %s" % s)


def scenario_double_click_closes_a_polygon(sc):
    d = image_view(sc)
    d.cmd("prop MouseInteract %d" % MI["polygon"])
    for x, y in ((50, 50), (200, 50), (200, 200)):
        sc.click(x, y)
    check(d.state()["selecting"] == 1, "the polygon is in progress")
    sc.click(60, 190, repeat=2)
    s = sc.wait_state("polygon closed", lambda s: s["selecting"] == 0)
    check(s["selected"] == 1 and s["points"] == 4, "polygon %s %s" % (s, d.points()))
    w, h, mask = d.mask()
    check(mask[120 * w + 150] == 255 and mask[100 * w + 30] == 0, "the polygon's inside and outside")


def scenario_magic_wand_click_selects_the_region(sc):
    pic = bytearray(pattern(400, 300).data)
    # A flat square the wand finds in a pattern it does not.
    seed = b"\xc8\x32\x32"
    for y in range(100, 150):
        for x in range(50, 130):
            pic[3 * (y * 400 + x):3 * (y * 400 + x) + 3] = seed
    everywhere = sum(1 for i in range(0, len(pic), 3) if pic[i:i + 3] == seed)
    d = sc.start()
    d.cmd("load Z:" + sc.load(Picture(400, 300, pic)))
    d.cmd("prop MouseInteract %d" % MI["wand"])
    for mode, count in ((0, 80 * 50), (1, 80 * 50), (2, everywhere)):
        d.cmd("wand %d 1 0" % mode)
        d.cmd("deselect")
        sc.click(100, 120)
        s = sc.wait_state("wand mode %d" % mode, lambda s: s["selected"] == 1)
        check(s["maskcount"] == count, "mode %d: %d pixels, not %d" % (mode, s["maskcount"], count))
        if mode < 2:
            check(s["maskbox"] == [50, 100, 129, 149], "mode %d: box %s" % (mode, s["maskbox"]))


def scenario_layers_move_by_dragging(sc):
    d = image_view(sc, 500, 400)
    d.cmd("layer Z:%s 20 30 255 0" % sc.load(pattern(100, 80), "layer"))
    d.cmd("prop MouseInteract %d" % MI["movelayers"])
    d.cmd("sync")
    s = d.state()
    check(s["layer1"][:2] == [20, 30], "layer placed at %s" % s["layer1"])
    sc.drag((60, 60), (110, 85))
    s = d.state()
    check(s["layer1"][:2] == [70, 55], "layer moved to %s" % s["layer1"])
    ev = d.events()
    check(ev.get("layer0", 0) >= 1 and ev.get("layer1", 0) == 1, "layer events %s" % ev)  # selected, moved


def scenario_arrow_keys_scroll(sc):
    d = image_view(sc)
    sc.click(100, 100)  # the focus
    sc.wait_state("focus", lambda s: s["focused"] == 1)
    sc.xdo("key", "Right", "Right", "Down")
    s = sc.wait_state("keys", lambda s: s["viewx"] == 20 and s["viewy"] == 10)
    sc.expect_screen_shows_backbuffer()


SCENARIOS = [(name[len("scenario_"):], fn) for name, fn in sorted(globals().items()) if name.startswith("scenario_")]


def main():
    global OPTS
    p = argparse.ArgumentParser()
    p.add_argument("--build", required=True)
    p.add_argument("--driver", required=True)
    p.add_argument("--convert", required=True)
    p.add_argument("--import", dest="import_", required=True)
    p.add_argument("--xdotool", required=True)
    p.add_argument("-k", dest="only", default="")
    OPTS = p.parse_args()
    passed, failed = 0, []
    # The pointer goes back where it was: the tests after these share the screen and may rely on it.
    env = wine_env(OPTS.build)
    where = subprocess.run([OPTS.xdotool, "getmouselocation", "--shell"], env=env, check=True,
                           stdout=subprocess.PIPE, text=True).stdout
    home = dict(line.split("=", 1) for line in where.split())
    for name, fn in SCENARIOS:
        if OPTS.only and OPTS.only not in name:
            continue
        sc = Scenario(name)
        started = time.monotonic()
        try:
            fn(sc)
            passed += 1
            print("PASS %s (%.1f s)" % (name, time.monotonic() - started), flush=True)
        except Exception as e:  # every failure is reported, the run goes on
            failed.append(name)
            print("FAIL %s: %s" % (name, e), flush=True)
            if not isinstance(e, Failure):
                traceback.print_exc()
        finally:
            sc.close()
    subprocess.run([OPTS.xdotool, "mousemove", home["X"], home["Y"]], env=env, check=True)
    print("%d passed, %d failed%s" % (passed, len(failed), (": " + ", ".join(failed)) if failed else ""))
    return 1 if failed or passed == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
