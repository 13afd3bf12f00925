#!/usr/bin/python3
"""The window figures, measured from outside as a user waits for them, on a virtual X display.

  window_bench.py measure APP MINIMAL_WINDOW STATIC_WINDOW CANNED_TOOL IDLE_SECONDS
      Inside a simulated Mac with the full footprint (sim/run --scene full), under each of Qt
      Quick's renderers in turn (OpenGL, drawn by Mesa's llvmpipe on the virtual display, then
      the software renderer): starts the smallest Qt Quick window, then the static window that
      draws the ready screen's content from the application bundle's Resources folder (found
      beside APP), then the uninstaller with tool stand-ins that answer at once. Under OpenGL it
      also clicks "Uninstall" on the ready screen and times the run and the idle screens. Prints
      one "sample|NAME|VALUE" line per figure.
  window_bench.py rows < SAMPLES
      Turns the samples of several repetitions into table rows (bench/table.py). The window's
      first frame and memory are judged against the static window: each kind of item drawn
      (text, image, antialiased shape) costs a pipeline at the first swap under llvmpipe, each
      face and size its font set-up, and the static window pays the same. The smallest window
      pays none of it; the rows against it are shown for information only.

Frames and phases are read from Qt's own logging, stamped with the monotonic clock: a frame counts
when the render loop reports it presented (its buffer swapped, which is where Mesa's llvmpipe
compiles the frame's shaders, long after the renderer issued its draw calls), and the uninstaller's
"nuvra.phase" category, silent unless enabled.

Every launch gets an empty cache folder (XDG_CACHE_HOME): Mesa's and Qt's shader caches start cold,
as at a first launch, the case an uninstaller meets, and no figure depends on what this machine
ran before.
"""

import glob
import os
import re
import select
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CONTROL = (240, 323)  # the primary control, in the window's 480 × 450 content
SETTLE_SECONDS = 2  # a screen's entrance animations end well within this
LINE = re.compile(r"^\s*(\d+)\.(\d+) (\S+) (.*)$")
RENDERERS = ["opengl", "software"]  # the default on a display with OpenGL, and the fallback


def start_xvfb():
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1440x900x24",
                             "-ac", "-nolisten", "tcp"], pass_fds=[write_end],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as display:
        os.environ["DISPLAY"] = ":" + display.readline().strip()
    return xvfb


class Watched:
    """A Qt program whose log lines are read as they come, each with its monotonic stamp."""

    def __init__(self, argv, renderer):
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", XDG_CACHE_HOME=tempfile.mkdtemp(),
                   QT_LOGGING_RULES="qt.scenegraph.time.renderer.debug=true;"
                                    "qt.scenegraph.time.renderloop.debug=true;nuvra.phase.info=true",
                   QT_MESSAGE_PATTERN="%{time boot} %{category} %{message}")
        env.pop("QT_QUICK_BACKEND", None)
        if renderer == "software":
            env["QT_QUICK_BACKEND"] = "software"
        self.start = time.monotonic()
        self.process = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.pending = b""

    def next_event(self, timeout=60):
        """(seconds since start, category, message) of the next log line."""
        limit = time.monotonic() + timeout
        while True:
            while b"\n" in self.pending:
                line, self.pending = self.pending.split(b"\n", 1)
                match = LINE.match(line.decode(errors="replace"))
                if match:
                    stamp = int(match[1]) + int(match[2]) / 1000
                    return stamp - self.start, match[3], match[4]
            left = limit - time.monotonic()
            ready, _, _ = select.select([self.process.stderr], [], [], max(left, 0))
            chunk = os.read(self.process.stderr.fileno(), 65536) if ready else b""
            if not chunk:
                raise RuntimeError(f"{self.process.args[0]}: no log line within {timeout} s")
            self.pending += chunk

    def drain(self, seconds):
        """Reads and drops log lines for `seconds`, so a chatty program never blocks on its pipe."""
        limit = time.monotonic() + seconds
        while (left := limit - time.monotonic()) > 0:
            ready, _, _ = select.select([self.process.stderr], [], [], left)
            if ready and not os.read(self.process.stderr.fileno(), 65536):
                time.sleep(max(limit - time.monotonic(), 0))
        self.pending = b""

    def wait_for(self, category, text=""):
        while True:
            when, got, message = self.next_event()
            if got == category and text in message:
                return when

    def first_frame(self):
        """When the next frame drawn is on screen: the render loop's report after the swap."""
        self.wait_for("qt.scenegraph.time.renderer")
        return self.frame_presented()

    def frame_presented(self):
        while True:
            when, category, message = self.next_event()
            if Watched.presented(category, message):
                return when

    @staticmethod
    def presented(category, message):
        # "syncAndRender: frame rendered in …" (threaded), "Frame rendered with 'software' …"
        return category == "qt.scenegraph.time.renderloop" and "rendered" in message.lower()

    def cpu_ms(self):
        total = 0
        for stat in glob.glob(f"/proc/{self.process.pid}/task/*/schedstat"):
            with open(stat) as f:
                total += int(f.read().split()[0])
        return total / 1e6

    def peak_mb(self):
        with open(f"/proc/{self.process.pid}/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) / 1024
        return 0

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()


def idle_cpu_ms(program, seconds):
    """CPU per 10 s of a screen left alone, once its entrance animations are over."""
    program.drain(SETTLE_SECONDS)
    before = program.cpu_ms()
    program.drain(seconds)
    return (program.cpu_ms() - before) * 10 / seconds


def click_control(pid):
    window = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(pid)],
                            capture_output=True, text=True, timeout=20).stdout.split()[0]
    subprocess.run(["xdotool", "mousemove", "--window", window, str(CONTROL[0]), str(CONTROL[1]),
                    "click", "1"], check=True, timeout=20)


def measure(app, minimal, static, canned_tool, idle_seconds):
    subprocess.run(["bash", "-c", f'source "{HERE}/canned_tools.sh" && install_canned_tools "$0"',
                    canned_tool], check=True)
    xvfb = start_xvfb()
    try:
        for renderer in RENDERERS:
            measure_window(app, minimal, static, renderer, idle_seconds)
    finally:
        xvfb.terminate()


def measure_anchor(name, argv, renderer):
    anchor = Watched(argv, renderer)
    print(f"sample|{name} first frame {renderer}|{anchor.first_frame() * 1000:.1f}")
    time.sleep(1)
    print(f"sample|{name} peak memory {renderer}|{anchor.peak_mb():.1f}")
    anchor.stop()


def measure_window(app, minimal, static, renderer, idle_seconds):
    measure_anchor("minimal", [minimal], renderer)
    resources = os.path.join(os.path.dirname(os.path.dirname(app)), "Resources")
    measure_anchor("static", [static, resources], renderer)

    ours = Watched([app], renderer)
    first = ready = None
    phase_ready = drawing = drawn_ready = False
    while ready is None:  # the scan may well be done before the first frame
        when, category, message = ours.next_event()
        if category == "nuvra.phase" and message == "ready":
            phase_ready = True
        elif category == "qt.scenegraph.time.renderer":
            drawing, drawn_ready = True, phase_ready
        elif drawing and Watched.presented(category, message):
            drawing = False
            first = when if first is None else first
            ready = when if drawn_ready else None
    print(f"sample|first frame {renderer}|{first * 1000:.1f}")
    if renderer == "opengl":
        print(f"sample|ready screen|{ready * 1000:.1f}")
        print(f"sample|idle ready screen|{idle_cpu_ms(ours, idle_seconds):.2f}")
    else:
        ours.drain(SETTLE_SECONDS)  # the ready screen drawn and its entrance over
    # The anchors show the ready screen only: so is this figure taken, before any run.
    print(f"sample|peak memory {renderer}|{ours.peak_mb():.1f}")
    if renderer == "opengl":
        click_control(ours.process.pid)
        started = ours.wait_for("nuvra.phase", "uninstalling")
        ours.wait_for("nuvra.phase", "done")
        finished = ours.first_frame()
        print(f"sample|whole uninstall|{(finished - started) * 1000:.1f}")
        print(f"sample|idle end screen|{idle_cpu_ms(ours, idle_seconds):.2f}")
        print(f"sample|peak memory whole run|{ours.peak_mb():.1f}")
    ours.stop()


def rows():
    samples = {}
    for line in sys.stdin:
        parts = line.strip().split("|")
        if len(parts) == 3 and parts[0] == "sample":
            samples.setdefault(parts[1], []).append(parts[2])
        elif line.strip():
            print(line.rstrip(), file=sys.stderr)

    def row(figure, unit, ours, anchor, goal):
        theirs = samples.get(anchor, []) if isinstance(anchor, str) else anchor
        print(f"row|{figure}|{unit}|{','.join(samples.get(ours, []))}|{','.join(theirs)}|{goal}")

    count = len(samples.get("whole uninstall", []))
    for renderer in RENDERERS:
        row(f"window, {renderer}: start to first frame (anchor static ready-screen window)", "ms",
            f"first frame {renderer}", f"static first frame {renderer}", "x<=1.1")
        row(f"window, {renderer}: start to first frame (anchor minimal Qt Quick window)", "ms",
            f"first frame {renderer}", f"minimal first frame {renderer}", "info")
    row("window: start to ready screen (anchor the first frame)", "ms", "ready screen",
        "first frame opengl", "+<=50")
    row("whole uninstall, click to end screen (anchor the 0.6 s pause)", "ms", "whole uninstall",
        ["600"] * count, "+<=150")
    row("idle CPU, ready screen, per 10 s", "ms", "idle ready screen", ["0"] * count, "<=5")
    row("idle CPU, end screen, per 10 s", "ms", "idle end screen", ["0"] * count, "<=5")
    for renderer in RENDERERS:
        row(f"window, {renderer}: peak memory (anchor static ready-screen window)", "MB",
            f"peak memory {renderer}", f"static peak memory {renderer}", "x<=1.1")
        row(f"window, {renderer}: peak memory (anchor minimal Qt Quick window)", "MB",
            f"peak memory {renderer}", f"minimal peak memory {renderer}", "info")
    row("window, opengl: peak memory to the end screen (anchor static ready-screen window)", "MB",
        "peak memory whole run", "static peak memory opengl", "info")


if __name__ == "__main__":
    if sys.argv[1:2] == ["measure"]:
        measure(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5], float(sys.argv[6]))
    elif sys.argv[1:2] == ["rows"]:
        rows()
    else:
        sys.exit(__doc__)
