#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Quimbo developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes MP3 files as people have them, for the folder-book tests.

Each file is made from a tone of known length (sox, lame) and then changed
the way files found on sticks are: junk before the first frame, stacked and
oversized ID3v2 tags, a tag size running past the end of the file, APEv2,
Lyrics3 and ID3v1 tags after the audio, MPEG 2 and 2.5, VBR without a
header, a cut-off last frame, a tail of zeros, a header that claims far more
than the file holds, and files that only carry the name (empty, all zeros,
text, a Mac's "._" side file). Written into --out; names are the variants.

With --long SECONDS a single VBR file "long-vbr.mp3" of about that length is
made instead (for the seek benchmark): 10 s of silence, then stretches of a
quiet tone and of loud noise by turns, so a seek by average bit rate drifts.
"""

import argparse
import os
import struct
import subprocess
import tempfile


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def tone(workdir, name, seconds, rate, lame_args):
    wav = os.path.join(workdir, name + ".wav")
    mp3 = os.path.join(workdir, name + ".mp3")
    run("sox", "-n", "-r", str(rate), "-c", "1", "-b", "16", wav, "synth", str(seconds), "sine", "300-900", "vol", "0.5")
    run("lame", "--quiet", *lame_args, wav, mp3)
    with open(mp3, "rb") as f:
        return f.read()


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def id3v2(payload_size, fill=b"\0"):
    """An ID3v2.3 tag: one TXXX-like frame holding payload_size bytes."""
    payload = (fill * (payload_size // len(fill) + 1))[:payload_size]
    body = b"PRIV" + struct.pack(">I", payload_size) + b"\0\0" + payload
    return b"ID3\x03\x00\x00" + syncsafe(len(body)) + body


def picture_like(size):
    """Bytes that hold the sync pattern now and then, as a JPEG in a tag does."""
    out = bytearray()
    x = 12345
    while len(out) < size:
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        out += bytes([0xFF, (x >> 8) & 0xFF]) if x % 7 == 0 else bytes([x & 0xFF])
    return bytes(out[:size])


def frame_length(header):
    """Bytes of an MPEG 1 layer III frame at 44.1 kHz, from its header."""
    bitrates = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]
    return 144 * bitrates[header[2] >> 4] * 1000 // 44100 + ((header[2] >> 1) & 1)


def ape_tag():
    item = struct.pack("<II", 5, 0) + b"Title\0" + b"Hello"
    footer = b"APETAGEX" + struct.pack("<IIII", 2000, 32 + len(item), 1, 0x80000000) + b"\0" * 8
    header = b"APETAGEX" + struct.pack("<IIII", 2000, 32 + len(item), 1, 0xA0000000) + b"\0" * 8
    return header + item + footer


def lyrics3():
    body = b"LYRICSBEGIN" + b"IND00003110" + b"LYR00011Hello world"
    return body + b"%06d" % len(body) + b"LYRICS200"


def id3v1():
    return b"TAG" + b"Title".ljust(30, b"\0") + b"Artist".ljust(30, b"\0") + b"Album".ljust(30, b"\0") + b"2026" + b"\0" * 30 + b"\xff"


def variants(workdir):
    plain = tone(workdir, "plain", 3, 44100, ["-b", "64"])
    # 60 s at a constant 64 kbit/s, cut after 3 s of frames: the Info header still says 60 s.
    long_cbr = tone(workdir, "long-cbr", 60, 44100, ["-b", "64"])
    first = long_cbr.index(b"\xff\xfb")
    yield "claims-more", long_cbr[: first + 418 + 3 * 8000]
    yield "plain", plain
    yield "junk-before", b"JUNK" * 1000 + plain
    yield "stacked-id3", id3v2(2000) + id3v2(500, b"x") + plain
    yield "large-id3", id3v2(300 * 1024 - 20, picture_like(300 * 1024)) + plain
    yield "id3-size-past-end", b"ID3\x03\x00\x00" + syncsafe(0x0FFFFFF) + plain
    yield "trailing-tags", plain + ape_tag() + lyrics3() + id3v1()
    yield "mpeg2-24k", tone(workdir, "m2", 3, 24000, ["-b", "32"])
    yield "mpeg2-16k", tone(workdir, "m2b", 3, 16000, ["-b", "24"])
    yield "mpeg25-8k", tone(workdir, "m25", 3, 8000, ["-b", "16"])
    yield "vbr-no-header", tone(workdir, "vbr", 3, 44100, ["-V", "5", "-t"])
    yield "cut-last-frame", plain[:-100]
    yield "zero-tail", plain + b"\0" * 65536
    # One frame of audio and nothing else: 26 ms that the engine opens but may not play.
    info = plain.index(b"\xff\xfb")
    audio = info + frame_length(plain[info:info + 4])
    yield "short-26ms", plain[audio:audio + frame_length(plain[audio:audio + 4])]
    yield "empty", b""
    yield "all-zero", b"\0" * 65536
    yield "text", b"This is not an MPEG audio stream, only text named like one.\n" * 200
    # 40 s of silence and loud noise by turns, 10 s each, VBR without a header:
    # a seek by the bit rate of its first frames lands in the wrong stretch.
    silence = os.path.join(workdir, "s.wav")
    noise = os.path.join(workdir, "n.wav")
    turns = os.path.join(workdir, "turns.wav")
    run("sox", "-n", "-r", "44100", "-c", "1", "-b", "16", silence, "trim", "0", "10")
    run("sox", "-n", "-r", "44100", "-c", "1", "-b", "16", noise, "synth", "10", "whitenoise", "vol", "0.5")
    run("sox", silence, noise, silence, noise, turns)
    run("lame", "--quiet", "-V", "4", "-t", turns, os.path.join(workdir, "turns.mp3"))
    with open(os.path.join(workdir, "turns.mp3"), "rb") as f:
        yield "vbr-silence-noise", f.read()
    # A Mac's AppleDouble side file: magic, version, a few entries, padding to 4 KiB.
    yield "._plain", (struct.pack(">II", 0x00051607, 0x00020000) + b"Mac OS X        " + b"\0" * 4096)[:4096]


def long_vbr(workdir, seconds, out):
    # 10 s of silence, so the audio played before a seek is told apart from
    # the audio after it; then five-minute stretches of a quiet tone and of
    # loud noise by turns: the bit rate of a stretch is far from the file's
    # average, as a book's music breaks are from its speech.
    quiet = os.path.join(workdir, "quiet.wav")
    loud = os.path.join(workdir, "loud.wav")
    silence = os.path.join(workdir, "silence.wav")
    run("sox", "-n", "-r", "44100", "-c", "1", "-b", "16", quiet, "synth", "300", "sine", "220-660", "vol", "0.3")
    run("sox", "-n", "-r", "44100", "-c", "1", "-b", "16", loud, "synth", "300", "pinknoise", "tremolo", "0.3", "60", "vol", "0.5")
    run("sox", "-n", "-r", "44100", "-c", "1", "-b", "16", silence, "trim", "0", "10")
    parts = [silence] + [quiet if i % 2 == 0 else loud for i in range(max(1, (seconds - 10) // 300))]
    wav = os.path.join(workdir, "long.wav")
    run("sox", *parts, wav)
    run("lame", "--quiet", "-V", "4", wav, out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True)
    parser.add_argument("--long", type=int, default=0, metavar="SECONDS")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    with tempfile.TemporaryDirectory() as workdir:
        if args.long:
            long_vbr(workdir, args.long, os.path.join(args.out, "long-vbr.mp3"))
            return
        for name, data in variants(workdir):
            with open(os.path.join(args.out, name + ".mp3"), "wb") as f:
                f.write(data)
        # The stamp the build waits for, written last.
        with open(os.path.join(args.out, "made"), "w") as f:
            f.write("\n")


if __name__ == "__main__":
    main()
