#!/usr/bin/env python3
"""Plays the Windows zip under wine on an X server of its own, as a player would.

    play_under_wine.py ZIP SHOTS_FOLDER

Unzips the game into a scratch folder and starts pellucane.exe in a fresh
wine prefix from the folder above its own (a double click starts it in its
own folder, which it enters anyway), and checks: the title with the music
alone coming out of SDL's disk audio driver, the instructions and the street
after two clicks; the street shows the three shops alike; keys of both
keyboard shops and a press on the sidebar give their trace lines on standard
output; a key held through the keyboard's repeat delay acts once. Every check
waits for what it checks, with generous deadlines. The screenshots are left
in SHOTS_FOLDER.

Not checked here: a key let go while another window has the keyboard.
Windows's GetAsyncKeyState follows the keyboard whoever has it; wine's key
state learns of releases from its own windows' events, and here the next
press of such a key did not act even once the game had the keyboard again
and had drawn two frames.
"""

import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

WIDTH, HEIGHT = 1024, 768
# generous: a fresh wine prefix alone takes 10 to 15 s on a busy machine
START_SECONDS = 180
STEP_SECONDS = 60


class Failure(Exception):
    pass


def wait_for(what, condition, seconds=STEP_SECONDS):
    """Polls condition until it returns something true; fails after seconds."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"waited {seconds} s for {what}")
        time.sleep(0.1)


class Shot:
    """A screenshot of the game's window: RGB bytes, top row first."""

    def __init__(self, data):
        self.data = data

    def pixel(self, x, y):
        i = (y * WIDTH + x) * 3
        return self.data[i], self.data[i + 1], self.data[i + 2]

    def game_pixel(self, gx, gy):
        # the camera's fixed view: x -50..50, y 0..75 across the window
        return self.pixel(min(int((gx + 50) * 10.24), WIDTH - 1), min(int((75 - gy) * 10.24), HEIGHT - 1))

    def region(self, x0, y0, x1, y1, step=0.25):
        gy = y0
        while gy <= y1:
            gx = x0
            while gx <= x1:
                yield self.game_pixel(gx, gy)
                gx += step
            gy += step

    def difference(self, other, x0=-50, y0=0, x1=50, y1=75):
        """Mean absolute difference a channel over a game rectangle."""
        total = count = 0
        for p, q in zip(self.region(x0, y0, x1, y1), other.region(x0, y0, x1, y1)):
            total += abs(p[0] - q[0]) + abs(p[1] - q[1]) + abs(p[2] - q[2])
            count += 3
        return total / count

    def share(self, test, x0=-50, y0=0, x1=50, y1=75):
        """The share of a game rectangle's pixels that pass test."""
        pixels = list(self.region(x0, y0, x1, y1))
        return sum(1 for p in pixels if test(p)) / len(pixels)


class Game:
    def __init__(self, folder, scratch):
        self.folder = folder
        self.scratch = scratch
        self.out = os.path.join(scratch, "stdout.txt")
        self.err = os.path.join(scratch, "stderr.txt")
        self.audio = os.path.join(scratch, "audio.raw")
        self.env = dict(os.environ)
        self.env.update(
            {
                # a fresh prefix, unless the caller made one
                "WINEPREFIX": os.environ.get("WINEPREFIX", os.path.join(scratch, "wine")),
                # no wait for Mono and Gecko, which cannot be downloaded
                "WINEDLLOVERRIDES": "mscoree=;mshtml=",
                "WINEDEBUG": "-all",
                "LIBGL_ALWAYS_SOFTWARE": "1",
                # the mixed sound, written to a file at the pace of a sound card
                "SDL_AUDIODRIVER": "disk",
                "SDL_DISKAUDIOFILE": "Z:" + self.audio,
            }
        )
        self.server = None
        self.process = None
        self.window = None

    def start_display(self):
        read, write = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=[write],
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
        )
        os.close(write)
        with os.fdopen(read) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise Failure("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number

    def start(self):
        with open(self.out, "wb") as out, open(self.err, "wb") as err:
            self.process = subprocess.Popen(
                ["wine", os.path.join(self.folder, "pellucane.exe")],
                cwd=self.scratch,
                env=self.env,
                stdout=out,
                stderr=err,
            )

    def tool(self, *arguments):
        return subprocess.run(
            arguments, env=self.env, check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL
        ).stdout

    def find_window(self):
        def found():
            if self.process.poll() is not None:
                raise Failure(f"the game ended with {self.process.returncode}: {self.errors()}")
            ids = subprocess.run(
                ["xdotool", "search", "--onlyvisible", "--name", "^Pellucane$"],
                env=self.env,
                stdout=subprocess.PIPE,
                stderr=subprocess.DEVNULL,
            ).stdout.split()
            return ids[0].decode() if ids else None

        self.window = wait_for("the game's window", found, START_SECONDS)

    def size(self):
        out = self.tool("xdotool", "getwindowgeometry", "--shell", self.window).decode()
        values = dict(line.split("=", 1) for line in out.split())
        return int(values["WIDTH"]), int(values["HEIGHT"])

    def shot(self):
        data = self.tool("import", "-window", self.window, "-depth", "8", "rgb:-")
        if len(data) != WIDTH * HEIGHT * 3:
            raise Failure(f"a screenshot of {len(data)} bytes, not {WIDTH}x{HEIGHT}")
        return Shot(data)

    def save(self, shot, path):
        subprocess.run(
            ["convert", "-size", f"{WIDTH}x{HEIGHT}", "-depth", "8", "rgb:-", path],
            input=shot.data,
            check=True,
        )

    def move(self, x, y):
        self.tool("xdotool", "mousemove", "--window", self.window, str(x), str(y))

    def move_to_game(self, gx, gy):
        self.move(int((gx + 50) * 10.24), int((75 - gy) * 10.24))

    def click(self, button=1):
        self.tool("xdotool", "click", str(button))

    def key(self, name):
        # through the server's keyboard, to the window with the focus
        self.tool("xdotool", "key", name)

    def focus(self):
        self.tool("xdotool", "windowfocus", "--sync", self.window)


    def lines(self):
        with open(self.out, "rb") as out:
            return out.read().decode(errors="replace").splitlines()

    def errors(self):
        with open(self.err, "rb") as err:
            return err.read().decode(errors="replace")

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        if self.process is not None:
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                self.process.kill()
        if self.server is not None:
            self.server.send_signal(signal.SIGTERM)
            self.server.wait()


def next_screen(game, previous, what):
    return wait_for(what, lambda: (lambda s: s if s.difference(previous) > 10 else None)(game.shot()))


def two_new_frames(game):
    """Waits until the street has drawn two new frames: the sun flickers every
    300 ms, so the second change was drawn by a frame begun after the call."""
    for _ in range(2):
        before = game.shot()
        wait_for("the street to draw on", lambda: before.difference(game.shot(), 10, 50, 30, 70) > 1.0)


def barrier(game):
    """Sends a key that shop 1 answers with a trace line and waits for the
    line: the game has then handled every event sent before it."""
    before = game.lines().count("PRODUCT BUTTON")
    game.key("v")
    wait_for("the answer to a barrier key", lambda: game.lines().count("PRODUCT BUTTON") > before)


def price_line_difference(shot, a, b):
    """The price figures at the ends of two shops' price lines, compared."""
    shop_x = (0.0, -30.0, 30.0)
    pixel = 1 / 10.24  # game units a pixel: each pixel once
    total = count = 0
    dy = 4.4
    while dy <= 6.2:
        dx = 6.0
        while dx <= 14.0:
            p = shot.game_pixel(shop_x[a] + dx, dy)
            q = shot.game_pixel(shop_x[b] + dx, dy)
            total += abs(p[0] - q[0]) + abs(p[1] - q[1]) + abs(p[2] - q[2])
            count += 3
            dx += pixel
        dy += pixel
    return total / count


def loudest_sample(path, limit):
    """The largest magnitude of the 16-bit samples in a file's first bytes,
    and how many bytes there are, up to limit."""
    with open(path, "rb") as audio:
        data = audio.read(limit)
    data = data[: len(data) // 2 * 2]
    samples = struct.unpack(f"<{len(data) // 2}h", data)
    return max((abs(s) for s in samples), default=0), len(data)


def play(zip_path, shots):
    scratch = tempfile.mkdtemp(prefix="pellucane-wine-")
    game = None
    try:
        with zipfile.ZipFile(zip_path) as archive:
            archive.extractall(scratch)
            top = archive.namelist()[0].split("/")[0]
        folder = os.path.join(scratch, top)
        game = Game(folder, scratch)
        game.start_display()
        started = time.monotonic()
        game.start()
        game.find_window()
        print(f"window up after {time.monotonic() - started:.1f} s", file=sys.stderr)
        if game.size() != (WIDTH, HEIGHT):
            raise Failure(f"a window of {game.size()}, not {WIDTH}x{HEIGHT}")

        # the title, once it covers the black of a window not yet drawn and
        # the white of the first cleared frames: the sky along its top
        def sky(p):
            return p[2] > 150 and p[2] > p[0] + 40

        title = wait_for(
            "the title screen",
            lambda: (lambda s: s if s.share(sky, -50, 68, 50, 75) > 0.8 else None)(game.shot()),
        )
        game.save(title, os.path.join(shots, "title.png"))

        # the music, decoded and mixed: on the title screen it is the only
        # sound, and its first two seconds have loud samples (SDL's disk
        # driver writes 16-bit stereo at 44100 Hz, at the pace of a sound card)
        two_seconds = 44100 * 2 * 2 * 2
        loud, _ = wait_for(
            "two seconds of sound in the disk driver's file",
            lambda: (lambda s: s if s[1] >= two_seconds else None)(loudest_sample(game.audio, two_seconds)),
        )
        if loud < 1000:
            raise Failure(f"the music is silent: the loudest sample is {loud}")
        game.move(512, 384)
        game.click(1)
        instructions = next_screen(game, title, "the instructions after a click")
        game.save(instructions, os.path.join(shots, "instructions.png"))
        game.click(1)
        street = next_screen(game, instructions, "the street after a second click")
        print(f"street after {time.monotonic() - started:.1f} s", file=sys.stderr)

        # the three shops stand alike on their lots: their price lines match
        for shop in (1, 2):
            difference = price_line_difference(street, shop, 0)
            if difference >= 8.0:
                raise Failure(f"shop {shop}'s price line differs from shop 0's by {difference:.1f}")
        if game.lines():
            raise Failure(f"the clicks through the title gave trace lines: {game.lines()}")

        # a key of each keyboard shop, through the keyboard
        game.focus()
        expected = []
        for key, line in (("x", "HANDOUT BUTTON"), ("l", "SMALL SIGN BUTTON")):
            game.key(key)
            expected.append(line)
            wait_for(f"the trace line {line}", lambda: len(game.lines()) >= len(expected))
            if game.lines() != expected:
                raise Failure(f"trace lines {game.lines()}, not {expected}")

        # the sale band opens its strip under the cursor; a click fires a sale
        closed = game.shot()
        game.move_to_game(-40, 63.5)
        wait_for("the sale strip to slide out", lambda: game.shot().difference(closed, -35, 60, 0, 67) > 10)

        def at_rest():
            first = game.shot()
            two_new_frames(game)
            return first.difference(game.shot(), -35, 60, 0, 67) < 1.0

        wait_for("the sale strip to come to rest", at_rest)
        game.save(game.shot(), os.path.join(shots, "sidebar.png"))
        # held until it acts: the game looks at the button once a frame
        game.move_to_game(-31, 63.5)
        game.tool("xdotool", "mousedown", "1")
        wait_for("a sale from the sidebar", lambda: len(game.lines()) > len(expected))
        game.tool("xdotool", "mouseup", "1")
        # a held button repeats every 100 ms: sales alone, one or more
        sales = game.lines()[len(expected) :]
        if not all(line.endswith("% BUTTON") for line in sales):
            raise Failure(f"the sidebar press gave {sales}")

        # the street with the handout guy and the small sign bought
        game.move_to_game(30, 30)
        street = game.shot()
        game.save(street, os.path.join(shots, "street.png"))

        # A key held through the keyboard's repeat delay acts once: the X
        # server repeats it after 660 ms, wine flags the repeats as such.
        def handouts():
            return game.lines().count("HANDOUT BUTTON")

        game.focus()
        game.tool("xdotool", "keydown", "m")
        wait_for("the held key's trace line", lambda: handouts() == 2)
        held = time.monotonic()
        while time.monotonic() - held < 1.5:
            two_new_frames(game)
        game.tool("xdotool", "keyup", "m")
        barrier(game)
        if handouts() != 2:
            raise Failure(f"a held key acted {handouts() - 1} times")

        print(f"trace lines: {game.lines()}; the music's loudest sample {loud}", file=sys.stderr)
        return 0
    except Failure as failure:
        print(f"play_under_wine: {failure}", file=sys.stderr)
        if game is not None:
            if game.window is not None:
                try:
                    game.save(game.shot(), os.path.join(shots, "failure.png"))
                except Exception:
                    pass
            print(f"the game's standard error:\n{game.errors()}", file=sys.stderr)
        return 1
    finally:
        if game is not None:
            game.stop()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    os.makedirs(sys.argv[2], exist_ok=True)
    sys.exit(play(sys.argv[1], sys.argv[2]))
