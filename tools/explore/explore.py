#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""The explorer: seeded random days of a reader on the simulated board.

Starts the real firmware (BUILD/bin/quimbo-basic --sim), plays a seeded random
sequence of what a reader does through the control socket (keys, knob, power
button, headphones, sticks, cards and discs with books of every kind, broken
ones too, the adapter, the battery, time passing, power cycles) and checks the
invariants after every step. A walk that breaks one is shrunk to a short
script in the simulator's --script language and saved under BUILD/explore/.

  explore.py [--build DIR]                     the fixed set of seeds (about 10 minutes)
  explore.py --seed N [--steps M]              one walk
  explore.py --ci                              the short fixed set (at most 3 minutes)
  explore.py --replay FILE... [--expect INV]   replays saved scripts, checking the invariants

Invariants that a known fault still breaks are listed in expected-failures.txt
beside this file with the issue that fixes them; they are reported but do not
fail a run. The exit status is 1 when an invariant not listed there broke.
"""

import argparse
import fcntl
import os
import random
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import xml.etree.ElementTree as ElementTree

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))

INVARIANTS = [
    ("alive", "the firmware is alive and answers status within 2 s"),
    ("key-answer", "a key in a mode that takes keys gets an audible answer within 3 s"),
    ("playing-audible", "player=playing and not muted means ear=audible within 2 s"),
    ("standby-armed", "on, stopped, no prompt playing: the standby timer is armed"),
    ("shelf-sound", "the shelf never lists a book twice nor one whose medium is out"),
    ("position-kept", "pulling a medium, power-off and an empty battery keep the stored position"),
    ("quiet-when-off", "nothing speaks after power-off; idle mode plays no book"),
    ("no-sanitizer-report", "no sanitizer report from the firmware"),
]
INVARIANT_NAMES = [name for name, _ in INVARIANTS]

KEYS = ["play", "ff", "rew", "menu", "eject", "pitchup", "pitchdown", "speedup", "speeddown"]
TAKES_KEYS = {"main", "shelf", "player", "menu", "manual"}
SPEAKING = ("[sim] voice ", "[sim] sound ")

# The media the walks put in, built once below BUILD/explore/media, and how
# many books each could list at most (broken ones included).
MEDIA = {
    "usb": {"stick-daisy": 1, "stick-several": 4, "stick-broken": 3},
    "sd": {"card-epub": 1, "card-mp3": 1, "card-empty": 0},
    "cd": {"disc-audio": 1, "disc-data": 1},
}
FIXED_SEEDS = list(range(1, 1000))
CI_SEEDS = list(range(101, 111))


def log(text):
    print(text, flush=True)


# --- set-up -----------------------------------------------------------------

def run_quiet(command, **kwargs):
    return subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False, **kwargs).returncode == 0


def tone(path, seconds, frequency, rate=22050, channels=1):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    return run_quiet(["sox", "-q", "-n", "-r", str(rate), "-c", str(channels), path,
                      "synth", str(seconds), "sine", str(frequency), "vol", "0.3"])


def make_prompts(folder):
    """Stand-ins for the voice prompts: a tone per message, as long as its
    text would take to say, so answers take their time without espeak-ng."""
    stamp = os.path.join(folder, ".made")
    if os.path.exists(stamp):
        return
    os.makedirs(folder, exist_ok=True)
    lengths = {}
    with open(os.path.join(SOURCE, "tools", "prompts", "messages.tsv"), encoding="utf-8") as table:
        for line in table:
            fields = line.rstrip("\n").split("\t")
            if len(fields) >= 3 and fields[0].isdigit():
                seconds = min(3.0, max(0.4, round(0.06 * len(fields[2]), 1)))
                lengths["message%03d.wav" % int(fields[0])] = seconds
    for n in range(1000):
        lengths["%d.wav" % n] = 0.4
    for seconds in sorted(set(lengths.values())):
        tone(os.path.join(folder, ".tone-%.1f.wav" % seconds), seconds, 300)
    for name, seconds in lengths.items():
        target = os.path.join(folder, name)
        if not os.path.lexists(target):
            os.symlink(".tone-%.1f.wav" % seconds, target)
    open(stamp, "w").close()


def make_media(build, folder):
    stamp = os.path.join(folder, ".made")
    if os.path.exists(stamp):
        return True
    testdata = os.path.join(build, "testdata")
    road = os.path.join(testdata, "daisy", "road202")
    daisy3 = os.path.join(testdata, "daisy", "sample3")
    daisy202 = os.path.join(testdata, "daisy", "sample202")
    epub = os.path.join(testdata, "epub", "generated-3ch.epub")
    for needed in (road, daisy3, daisy202, epub):
        if not os.path.exists(needed):
            log("explore: %s is missing (build the targets quimbo_road_book quimbo_daisy_testbooks quimbo_epub_fixtures)" % needed)
            return False
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(road, os.path.join(folder, "stick-daisy", "road202"))
    several = os.path.join(folder, "stick-several")
    shutil.copytree(road, os.path.join(several, "Road Book"))
    shutil.copytree(daisy3, os.path.join(several, "Second Book"))
    for part in (1, 2, 3):
        tone(os.path.join(several, "Music #1", "part %d.mp3" % part), 8, 220 * part)
    shutil.copy(epub, os.path.join(several, "Café book.epub"))
    os.makedirs(os.path.join(folder, "card-epub"))
    shutil.copy(epub, os.path.join(folder, "card-epub", "chapters.epub"))
    for part in (1, 2, 3):
        tone(os.path.join(folder, "card-mp3", "tones", "part %d.mp3" % part), 8, 330 * part)
    os.makedirs(os.path.join(folder, "card-empty"))
    with open(os.path.join(folder, "card-empty", "readme.txt"), "w") as f:
        f.write("This card holds no book.\n")
    broken = os.path.join(folder, "stick-broken")
    os.makedirs(os.path.join(broken, "broken daisy"))
    with open(os.path.join(broken, "broken daisy", "ncc.html"), "wb") as f:
        f.write(b"<html><head><title>cut off")
    with open(epub, "rb") as f:
        head = f.read(3000)
    with open(os.path.join(broken, "cut.epub"), "wb") as f:
        f.write(head)
    os.makedirs(os.path.join(broken, "noise"))
    with open(os.path.join(broken, "noise", "track.mp3"), "wb") as f:
        f.write(bytes(random.Random(1).getrandbits(8) for _ in range(20000)))
    for track in (1, 2, 3):
        tone(os.path.join(folder, "disc-audio", "track%02d.wav" % track), 6, 220 * track, 44100, 2)
    shutil.copytree(daisy202, os.path.join(folder, "disc-data", "book"))
    open(stamp, "w").close()
    return True


# --- the firmware -------------------------------------------------------------

class Firmware:
    """One run of the firmware on the simulated board, driven through its socket."""

    def __init__(self, walk):
        self.walk = walk
        self.process = None
        self.sock = None
        self.buffer = b""
        self.lines = []  # (monotonic time, text)
        self.lock = threading.Lock()
        self.stderr_path = None
        self.starts = 0

    def start(self, board_lines):
        walk = self.walk
        self.starts += 1
        script = os.path.join(walk.root, "tmp", "boot-%d.script" % self.starts)
        with open(script, "w", encoding="utf-8") as f:
            f.write("\n".join(board_lines) + "\n")
        self.socket_path = os.path.join(tempfile.gettempdir(), "quimbo-explore-%d-%d.sock" % (os.getpid(), walk.serial))
        if os.path.exists(self.socket_path):
            os.unlink(self.socket_path)
        self.stderr_path = os.path.join(walk.folder, "stderr-%d.txt" % self.starts)
        command = [walk.options.binary, "--sim", "--control", self.socket_path, "--script", script]
        if walk.options.ear:
            command += ["--ear", os.path.join(walk.folder, "ear-%d.wav" % self.starts)]
        self.process = subprocess.Popen(command, cwd=walk.options.media, env=walk.environment(),
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=open(self.stderr_path, "wb"))
        threading.Thread(target=self._read, args=(self.process,), daemon=True).start()
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and self.process.poll() is None:
            if os.path.exists(self.socket_path):
                try:
                    self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                    self.sock.connect(self.socket_path)
                    self.buffer = b""
                    return True
                except OSError:
                    self.sock = None
            time.sleep(0.05)
        return False

    def _read(self, process):
        with open(os.path.join(self.walk.folder, "output.txt"), "a", encoding="utf-8", errors="replace") as out:
            for raw in process.stdout:
                text = raw.decode("utf-8", "replace").rstrip("\n")
                now = time.monotonic()
                with self.lock:
                    self.lines.append((now, text))
                out.write("%.3f %s\n" % (now - self.walk.began, text))

    def running(self):
        return self.process is not None and self.process.poll() is None

    def lines_since(self, since):
        with self.lock:
            return [text for t, text in self.lines if t >= since]

    def send(self, line, timeout):
        """The answer to one command, or None when none came in time."""
        if not self.sock:
            return None
        try:
            self.sock.settimeout(timeout)
            self.sock.sendall((line + "\n").encode("utf-8"))
            deadline = time.monotonic() + timeout
            while b"\n" not in self.buffer:
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.sock.settimeout(left)
                chunk = self.sock.recv(4096)
                if not chunk:
                    return None
                self.buffer += chunk
            answer, self.buffer = self.buffer.split(b"\n", 1)
            return answer.decode("utf-8", "replace")
        except OSError:
            return None

    def status(self, timeout=2.0):
        answer = self.send("status", timeout)
        if not answer or not answer.startswith("ok "):
            return None
        fields = {}
        for item in answer[3:].split(" "):
            key, _, value = item.partition("=")
            fields[key] = value
        return fields

    def stop(self):
        if self.sock:
            self.send("quit", 3)
            self.sock.close()
            self.sock = None
        if self.process:
            try:
                self.process.wait(8)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self.socket_path and os.path.exists(self.socket_path):
            os.unlink(self.socket_path)

    def sanitizer_report(self):
        if not self.stderr_path or not os.path.exists(self.stderr_path):
            return None
        with open(self.stderr_path, "rb") as f:
            for raw in f:
                text = raw.decode("utf-8", "replace")
                if "ERROR: AddressSanitizer" in text or "ERROR: LeakSanitizer" in text or "runtime error:" in text:
                    return text.strip()
        return None


# --- a walk -----------------------------------------------------------------

def stored_positions(root):
    """Every stored place by book: resume markers and resume marks."""
    positions = {}
    for name, attributes in (("resumemarker.xml", ("spineIndex", "timeOffset")),
                             ("resumemark.xml", ("smilListPos", "playerTime"))):
        path = os.path.join(root, "root", "quimbo", name)
        try:
            tree = ElementTree.parse(path)
        except (OSError, ElementTree.ParseError):
            continue
        for element in tree.iter():
            title = element.get("title")
            if title is None:
                continue
            try:
                positions[(name, title)] = tuple(int(element.get(a, "0")) for a in attributes)
            except ValueError:
                continue
    return positions


class Walk:
    serial = 0

    def __init__(self, options, name):
        Walk.serial += 1
        self.serial = Walk.serial
        self.options = options
        self.name = name
        self.folder = os.path.join(options.work, name)
        self.root = os.path.join(self.folder, "root")
        self.began = time.monotonic()
        self.firmware = Firmware(self)
        self.violations = {}  # invariant -> (step index, detail)
        self.status = None
        self.media = {"usb": None, "sd": None, "cd": None}
        self.adapter = False
        self.battery = 4000
        self.headphones = False
        self.revision = 4
        self.off = False
        self.emptied = False  # ran empty on battery: the firmware remembers it

    def environment(self):
        env = dict(os.environ)
        env.update({
            "QUIMBO_ROOT": self.root,
            "QUIMBO_PLATFORM": "sim",
            "QUIMBO_TIME_SCALE": str(self.options.time_scale),
            "QUIMBO_SIM_PLAY_SCALE": str(self.options.play_scale),
            "QUIMBO_SIM_VOICE_LOG": os.path.join(self.root, "tmp", "voice.log"),
            "QUIMBO_PROMPT_TABLE": os.path.join(SOURCE, "tools", "prompts", "messages.tsv"),
            "PATH": os.path.join(SOURCE, "tools", "sim-bin") + os.pathsep + env.get("PATH", ""),
            "HOME": self.options.home,
        })
        return env

    def prepare(self):
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(os.path.join(self.root, "root", "quimbo", "messages"))
        os.makedirs(os.path.join(self.root, "tmp"))
        os.symlink(self.options.prompts, os.path.join(self.root, "root", "quimbo", "messages", "eng"))
        manual = os.path.join(self.options.build, "emanuals", "eng")
        if os.path.exists(os.path.join(manual, "ncc.html")):
            os.makedirs(os.path.join(self.root, "root", "quimbo", "emanuals"))
            os.symlink(manual, os.path.join(self.root, "root", "quimbo", "emanuals", "eng"))

    def board_lines(self):
        """The board as the reader left it: what a power-up finds."""
        lines = ["revision %d" % self.revision, "adapter %s" % ("in" if self.adapter else "out"),
                 "battery %d" % self.battery, "headphones %s" % ("in" if self.headphones else "out")]
        for slot in ("usb", "sd"):
            if self.media[slot]:
                lines.append("%s insert %s" % (slot, self.media[slot]))
        if self.media["cd"]:
            kind, name = self.media["cd"]
            lines.append("cd %s %s" % (kind, name))
        return lines

    def power_up(self, again=False):
        # A battery left empty is charged before the reader tries again: the
        # device stays off on battery until it has charged (idle mode, the
        # adapter in). Once it has run empty on battery, the next start must
        # be on the adapter too, whatever the battery reads by then: on
        # battery it would say "battery empty" and switch off again.
        if self.battery < 3500 or self.emptied:
            self.battery = max(self.battery, 3900)
            self.adapter = True
            self.emptied = False
        self.off = False
        if not self.firmware.start(self.board_lines()):
            return False
        deadline = time.monotonic() + 40
        while time.monotonic() < deadline:
            status = self.firmware.status(3)
            if status and status.get("mode") == "idle" and again:
                # Switched off, the device charges looking off: the reader
                # holds the power button to use it again.
                again = False
                self.firmware.send("power hold", 20)
                continue
            if status and status.get("mode") in ("main", "shelf", "player", "idle", "menu"):
                self.status = status
                return True
            if not self.firmware.running():
                return False
            time.sleep(0.2)
        return False

    def violate(self, invariant, index, detail):
        if invariant not in self.violations:
            self.violations[invariant] = (index, detail)
            expected = self.options.expected.get(invariant)
            mark = " (expected, issue %s)" % expected[0] if expected else ""
            log("  step %d breaks %s%s: %s" % (index, invariant, mark, detail))
            with open(os.path.join(self.folder, "violations.txt"), "a", encoding="utf-8") as f:
                f.write("step %d breaks %s%s: %s\n" % (index, invariant, mark, detail))

    def shelf_bound(self):
        bound = 0
        for slot in ("usb", "sd"):
            if self.media[slot]:
                bound += MEDIA[slot][self.media[slot]]
        if self.media["cd"]:
            bound += MEDIA["cd"][self.media["cd"][1]]
        return bound

    def apply_model(self, command):
        words = command.split(" ", 2)
        if words[0] in ("usb", "sd") and len(words) >= 2:
            self.media[words[0]] = words[2] if words[1] == "insert" and len(words) > 2 else None
        elif words[0] == "cd" and len(words) >= 2:
            if words[1] in ("audio", "insert") and len(words) > 2:
                self.media["cd"] = (words[1], words[2])
            elif words[1] in ("remove", "open"):
                self.media["cd"] = None
        elif words[0] == "adapter":
            self.adapter = words[1] == "in"
        elif words[0] == "battery" and len(words) == 2 and words[1].isdigit():
            self.battery = int(words[1])
            self.emptied |= self.battery < 3500 and not self.adapter
        elif words[0] == "headphones":
            self.headphones = words[1] == "in"
        elif words[0] == "revision":
            self.revision = int(words[1])

    def step_timeout(self, command):
        if command.startswith("await "):
            return 40  # the simulator gives up on its own after 30 s
        numbers = [int(n) for n in re.findall(r"\b\d+\b", command)]
        device = max(numbers) if numbers and command.split()[0] in ("wait", "tap", "hold", "power") else 2500
        return 20 + device * self.options.time_scale / 1000.0 * 3

    def run_step(self, index, command):
        """Carries out one command and checks every invariant after it."""
        fw = self.firmware
        if self.off or not fw.running():
            if not self.off:
                self.check_exit(index)
            fw.stop()
            if not self.power_up(again=True):
                self.violate("alive", index, "the firmware did not start again")
                return False
        before = self.status or {}
        verb = command.split(" ")[0]
        risky = verb in ("usb", "sd", "cd") and "remove" in command or command.startswith("power hold") \
            or (verb == "battery" and command.split()[-1].isdigit() and int(command.split()[-1]) < 3500)
        stored = stored_positions(self.root) if risky else None
        started = time.monotonic()
        self.apply_model(command)
        answer = fw.send(command, self.step_timeout(command))
        ended = time.monotonic()
        if answer is None and not self.ended_cleanly(5):
            if fw.running():
                self.violate("alive", index, "no answer to \"%s\"" % command)
                fw.process.kill()
            else:
                self.check_exit(index)  # a crash names its signal
            self.off = True
            return True
        self.check(index, command, before, started, ended, stored)
        return True

    def ended_cleanly(self, seconds):
        """True when the firmware ends (or has ended) by itself with exit code 0
        within seconds: the board powered off (the simulator ends with it)."""
        try:
            return self.firmware.process.wait(seconds) == 0
        except subprocess.TimeoutExpired:
            return False

    def check_exit(self, index):
        fw = self.firmware
        report = fw.sanitizer_report()
        if report:
            self.violate("no-sanitizer-report", index, report)
        code = fw.process.poll() if fw.process else None
        if code not in (None, 0):
            self.violate("alive", index, "the firmware ended with exit code %s" % code)

    def wait_status(self, predicate, seconds):
        """Polls status until predicate holds; the last status (None: no answer)."""
        deadline = time.monotonic() + seconds
        status = None
        while True:
            status = self.firmware.status(2)
            if status is None or predicate(status) or time.monotonic() >= deadline:
                return status
            time.sleep(0.15)

    def check(self, index, command, before, started, ended, stored):
        fw = self.firmware
        status = fw.status(2) if fw.running() else None
        if status is None:
            # A shutdown plays its tune and waits before the board powers off.
            if self.ended_cleanly(8):
                self.off = True
                fw.stop()
                self.check_exit(index)
                self.check_quiet(index, started)
                if stored is not None:
                    self.check_positions(index, command, stored)
                return
            if fw.running():
                self.violate("alive", index, "no answer to status within 2 s after \"%s\"" % command)
                fw.process.kill()
            else:
                self.check_exit(index)
            self.off = True
            return
        self.status = status

        verb = command.split(" ")[0]
        is_key = verb in ("tap", "hold", "knob") or command in ("power tap",)
        if is_key and before.get("mode") in TAKES_KEYS and before.get("input") == "on":
            def answered():
                return any(line.startswith(SPEAKING) for line in fw.lines_since(started))
            heard = answered() or status.get("ear") == "audible"
            deadline = ended + 3
            while not heard and time.monotonic() < deadline:
                time.sleep(0.15)
                st = fw.status(2)
                heard = answered() or (st is not None and st.get("ear") == "audible")
            if not heard:
                self.violate("key-answer", index, "\"%s\" in mode %s got no prompt, sound or book audio within 3 s" % (command, before.get("mode")))
            status = fw.status(2) or status

        if status.get("player") == "playing" and status.get("muted") == "no":
            st = self.wait_status(lambda s: s.get("ear") == "audible" or s.get("player") != "playing" or s.get("muted") != "no", 2)
            if st and st.get("player") == "playing" and st.get("muted") == "no" and st.get("ear") != "audible":
                self.violate("playing-audible", index, "player=playing, muted=no, but the ear hears silence for 2 s")

        if status.get("mode") in TAKES_KEYS and status.get("player") != "playing" and status.get("standby") == "off":
            # Give a prompt that may still be sounding time to end.
            quiet_since = time.monotonic()
            deadline = quiet_since + 8
            st = status
            while time.monotonic() < deadline:
                time.sleep(0.3)
                st = fw.status(2)
                if st is None or st.get("standby") != "off" or st.get("player") == "playing" or st.get("mode") not in TAKES_KEYS:
                    break
                # The manual's own engine, or a prompt: something still sounds.
                if st.get("ear") == "audible" or any(line.startswith(SPEAKING) for line in fw.lines_since(quiet_since)):
                    quiet_since = time.monotonic()
                if time.monotonic() - quiet_since >= 3:
                    self.violate("standby-armed", index, "mode %s, player %s, nothing sounding for 3 s, standby off" % (st.get("mode"), st.get("player")))
                    break
            status = st or status

        bound = self.shelf_bound()
        if status.get("shelf", "0").isdigit() and int(status["shelf"]) > bound:
            st = self.wait_status(lambda s: int(s.get("shelf", "0") or 0) <= bound, 4)
            if st and int(st.get("shelf", "0") or 0) > bound:
                self.violate("shelf-sound", index, "the shelf lists %s books, the media in hold at most %d" % (st.get("shelf"), bound))

        if stored is not None:
            time.sleep(0.5)
            self.check_positions(index, command, stored)
        self.check_quiet(index, started)
        if status.get("mode") == "idle" and before.get("mode") == "idle":
            plays = [line for line in fw.lines_since(started) if line.startswith("[sim] engine play")]
            if plays:
                self.violate("quiet-when-off", index, "idle mode played book audio: " + plays[0])
        self.status = fw.status(2) or status

    def check_positions(self, index, command, stored):
        now = stored_positions(self.root)
        for key, position in stored.items():
            if key not in now:
                self.violate("position-kept", index, "\"%s\" lost the stored place of %s in %s" % (command, key[1], key[0]))
            elif now[key] < position:
                self.violate("position-kept", index, "\"%s\" moved %s back from %s to %s" % (command, key[1], position, now[key]))

    def check_quiet(self, index, started):
        off = False
        for line in self.firmware.lines_since(started):
            if line == "[sim] system: poweroff":
                off = True
            elif off and (line.startswith(SPEAKING) or line.startswith("[sim] engine play")):
                self.violate("quiet-when-off", index, "after power-off: " + line)
                return

    def finish(self):
        fw = self.firmware
        if fw.running():
            fw.stop()
        report = fw.sanitizer_report()
        if report:
            self.violate("no-sanitizer-report", -1, report)


def random_steps(seed, count):
    rng = random.Random(seed)
    steps = []
    for _ in range(count):
        choice = rng.choices(
            ["tap", "hold", "knob", "power tap", "power hold", "headphones", "usb", "sd", "cd", "adapter", "battery", "wait"],
            # Media and power events (a fifth of the steps and more) weigh
            # enough for every 40-step walk to hold several, and most walks a
            # power cycle or an empty battery.
            weights=[30, 7, 6, 3, 3, 2, 7, 5, 4, 4, 4, 6])[0]
        if choice == "tap":
            steps.append("tap %s %d" % (rng.choice(KEYS), rng.choice([60, 80, 120, 200, 300])))
        elif choice == "hold":
            steps.append("hold %s %d" % (rng.choice(["play", "ff", "rew", "menu", "play", "eject"]), rng.choice([2500, 3000, 4500])))
        elif choice == "knob":
            steps.append("knob %+d" % rng.choice([-3, -1, 1, 2]))
        elif choice == "headphones":
            steps.append("headphones %s" % rng.choice(["in", "out"]))
        elif choice in ("usb", "sd"):
            if rng.random() < 0.6:
                steps.append("%s insert %s" % (choice, rng.choice(sorted(MEDIA[choice]))))
            else:
                steps.append("%s remove" % choice)
        elif choice == "cd":
            r = rng.random()
            if r < 0.35:
                steps.append("cd audio disc-audio")
            elif r < 0.6:
                steps.append("cd insert disc-data")
            else:
                steps.append("cd remove")
        elif choice == "adapter":
            steps.append("adapter %s" % rng.choice(["in", "out"]))
        elif choice == "battery":
            steps.append("battery %d" % rng.choice([3650, 3550, 3300, 3300, 4100]))
        elif choice == "wait":
            steps.append("wait %d" % rng.choice([1000, 3000, 8000, 30000, 120000]))
        else:
            steps.append(choice)
    return steps


def run_walk(options, name, steps, revision=4, quiet=False):
    walk = Walk(options, name)
    walk.prepare()
    walk.revision = revision
    with open(os.path.join(walk.folder, "steps.script"), "w", encoding="utf-8") as f:
        f.write("\n".join(steps) + "\n")
    if not quiet:
        log("walk %s: %d steps (revision %d), in %s" % (name, len(steps), revision, walk.folder))
    if not walk.power_up():
        walk.check_exit(0)
        walk.violate("alive", 0, "the firmware did not come up")
    else:
        for index, command in enumerate(steps, 1):
            with open(os.path.join(walk.folder, "output.txt"), "a", encoding="utf-8") as out:
                out.write("%.3f >>> step %d: %s\n" % (time.monotonic() - walk.began, index, command))
            if not walk.run_step(index, command):
                break
            if options.stop_early and any(v not in options.expected for v in walk.violations):
                break
    walk.finish()
    return walk


# --- shrinking and scripts ------------------------------------------------------

def shrink(options, steps, revision, invariant, budget_seconds):
    """The shortest walk found within the budget that still breaks invariant."""
    deadline = time.monotonic() + budget_seconds
    tries = 0

    def breaks(candidate):
        nonlocal tries
        tries += 1
        walk = run_walk(options, "shrink", candidate, revision, quiet=True)
        return invariant in walk.violations, walk

    current = list(steps)
    chunk = max(1, len(current) // 2)
    while chunk >= 1 and time.monotonic() < deadline:
        start = 0
        changed = False
        while start < len(current) and time.monotonic() < deadline:
            candidate = current[:start] + current[start + chunk:]
            if candidate and breaks(candidate)[0]:
                current = candidate
                changed = True
            else:
                start += chunk
        if not changed:
            chunk //= 2
    log("  shrunk to %d steps in %d replays" % (len(current), tries))
    return current


def script_text(steps, revision, invariant, origin):
    description = dict(INVARIANTS)[invariant]
    header = [
        "# Found by the explorer (%s)." % origin,
        "# Breaks: %s (%s)" % (invariant, description),
        "# Replay: tools/explore/explore.py --replay THIS_FILE",
        "# Media folders are those the explorer makes in build/explore/media; a power-off",
        "# ends the firmware and the next line powers the board up again as the reader left it",
        "# (holding the power button when it charges in idle mode).",
    ]
    return "\n".join(header + ["revision %d" % revision] + steps) + "\n"


def read_script(path):
    revision = 4
    steps = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            if line.startswith("revision "):
                revision = int(line.split()[1])
                continue
            steps.append(line)
    return steps, revision


def read_expected(path):
    expected = {}
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            for line in f:
                line = line.strip()
                if not line or line.startswith("#"):
                    continue
                invariant, issue, reason = (line.split(None, 2) + ["", ""])[:3]
                expected[invariant] = (issue, reason)
    return expected


def table(results, expected):
    walks = len(results)
    lines = ["", "invariant             walks broken (of %d)  expected" % walks]
    for name, description in INVARIANTS:
        broken = sum(1 for r in results if name in r.violations)
        mark = "issue %s" % expected[name][0] if name in expected else ""
        lines.append("%-22s%-22d%s" % (name, broken, mark))
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description="Seeded random walks through the firmware on the simulated board.")
    parser.add_argument("--build", default=os.path.join(SOURCE, "build"))
    parser.add_argument("--binary", help="the firmware (default BUILD/bin/quimbo-basic)")
    parser.add_argument("--seed", type=int, action="append", help="run this seed (repeatable)")
    parser.add_argument("--steps", type=int, default=40)
    parser.add_argument("--ci", action="store_true", help="the short fixed set")
    parser.add_argument("--budget", type=int, default=600, help="seconds for the fixed set")
    parser.add_argument("--replay", nargs="+", help="saved scripts (or folders of them) to replay")
    parser.add_argument("--expect", help="with --replay: succeed only if this invariant breaks")
    parser.add_argument("--no-shrink", action="store_true")
    parser.add_argument("--shrink-budget", type=int, default=120)
    parser.add_argument("--time-scale", type=float, default=0.05)
    parser.add_argument("--play-scale", type=float, default=0.5, help="prompt length factor (QUIMBO_SIM_PLAY_SCALE)")
    parser.add_argument("--ear", action="store_true", help="record what the engines play as WAV files beside each walk")
    options = parser.parse_args()

    options.build = os.path.abspath(options.build)
    options.binary = os.path.abspath(options.binary or os.path.join(options.build, "bin", "quimbo-basic"))
    options.work = os.path.join(options.build, "explore")
    options.media = os.path.join(options.work, "media")
    options.prompts = os.path.join(options.work, "prompts", "eng")
    options.home = os.path.join(options.work, "home")
    options.expected = read_expected(os.path.join(HERE, "expected-failures.txt"))
    options.stop_early = False
    if not os.access(options.binary, os.X_OK):
        log("explore: no firmware at %s; build it first (make build)" % options.binary)
        return 2
    os.makedirs(options.home, exist_ok=True)
    # Two explorers (two tests) may start at once on a fresh build: one makes the media.
    with open(os.path.join(options.work, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        with open(os.path.join(options.home, ".asoundrc"), "w") as f:
            f.write("pcm.!default { type null }\nctl.!default { type hw card 0 }\n")
        make_prompts(options.prompts)
        if not make_media(options.build, options.media):
            return 2

    if options.replay:
        failed = False
        paths = []
        for path in options.replay:
            if os.path.isdir(path):
                paths += sorted(os.path.join(path, name) for name in os.listdir(path) if name.endswith(".script"))
            else:
                paths.append(path)
        for path in paths:
            steps, revision = read_script(path)
            name = "replay-%s-%s" % (os.path.basename(options.binary), os.path.splitext(os.path.basename(path))[0])
            walk = run_walk(options, name, steps, revision)
            broken = set(walk.violations)
            if options.expect:
                ok = options.expect in broken
                log("%s: %s %s" % (path, options.expect, "broken, as planted" if ok else "NOT caught"))
            else:
                unexpected = broken - set(options.expected)
                ok = not unexpected
                log("%s: %s" % (path, "ok" if ok else "broke " + ", ".join(sorted(unexpected))))
                for invariant in sorted(broken & set(options.expected)):
                    log("  %s still broken (expected, issue %s)" % (invariant, options.expected[invariant][0]))
            failed |= not ok
        return 1 if failed else 0

    if options.seed:
        seeds, budget = options.seed, None
    elif options.ci:
        seeds, budget = CI_SEEDS, 120
    else:
        seeds, budget = FIXED_SEEDS, options.budget
    began = time.monotonic()
    results = []
    shrunk = set()
    for seed in seeds:
        if budget is not None and results and time.monotonic() - began > budget:
            break
        rng = random.Random(seed * 7919)
        revision = 6 if rng.random() < 0.3 else 4
        steps = random_steps(seed, options.steps)
        walk = run_walk(options, "walk-%d" % seed, steps, revision)
        results.append(walk)
        for invariant, (index, detail) in sorted(walk.violations.items(), key=lambda v: v[1][0]):
            if invariant in shrunk or options.no_shrink or options.ci or index < 1:
                continue
            if budget is not None and time.monotonic() - began > budget:
                break
            shrunk.add(invariant)
            log("  shrinking the walk to step %d for %s..." % (index, invariant))
            small = shrink(options, steps[:index], revision, invariant, options.shrink_budget)
            path = os.path.join(options.work, "%s-seed%d.script" % (invariant, seed))
            text = script_text(small, revision, invariant, "seed %d, step %d of %d" % (seed, index, len(steps)))
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            log("  saved %s:\n%s" % (path, text))
    log(table(results, options.expected))
    unexpected = set()
    for r in results:
        unexpected |= set(r.violations) - set(options.expected)
    if unexpected:
        log("broken and not expected: " + ", ".join(sorted(unexpected)))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
