#!/usr/bin/env python3
"""Draws the pictures of the task-file guide from what wavsplice itself writes.

  crossfade-curves.svg  the weights of the destination and of the source across
                        a crossfade, for the four curve types: wavsplice renders
                        crossfades between a constant signal and silence, and the
                        samples it writes are the weights.
  timeline.svg          the plan of examples/recipes/insert.txt as wavsplice
                        --check --timeline draws it.

Usage: make_pictures.py BUILD_DIR            write the pictures into docs/
       make_pictures.py --check BUILD_DIR    fail when docs/ holds other bytes

BUILD_DIR holds the built wavsplice and make_example_sources. Python's standard
library only.
"""

import argparse
import os
import shlex
import struct
import subprocess
import sys
import tempfile

DOCS = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(DOCS)
TIMELINE_RECIPE = os.path.join(ROOT, "examples", "recipes", "insert.txt")

# Crossfades are drawn from 24-bit mono at 8000 samples per second: a 50 ms
# width is 400 samples, and a constant of 2^22 leaves every weight 22 bits.
CURVE_RATE = 8000
CURVE_WIDTH_MS = 50
CURVE_LEVEL = 1 << 22
CURVE_NAMES = {
    1: "type 1: equal power",
    2: "type 2: linear",
    3: "type 3: slow, then fast decay",
    4: "type 4: fast, then slow decay",
}
DEST_COLOUR = "#1f5fa8"
SOURCE_COLOUR = "#c8462b"


def wav_bytes(rate, channels, bits, frames, value):
    """A canonical PCM WAV file whose every sample is value."""
    width = bits // 8
    sample = (value & ((1 << bits) - 1)).to_bytes(width, "little")
    data = sample * (channels * frames)
    header = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt "
    header += struct.pack("<IHHIIHH", 16, 1, channels, rate, rate * channels * width,
                          channels * width, bits)
    return header + b"data" + struct.pack("<I", len(data)) + data


def read_wav(path):
    """(channels, bits, rate, data bytes) of a PCM WAV file, by its chunks."""
    with open(path, "rb") as f:
        raw = f.read()
    if raw[:4] != b"RIFF" or raw[8:12] != b"WAVE":
        raise SystemExit(f"{path} is not a WAV file")
    pos, fmt = 12, None
    while pos + 8 <= len(raw):
        tag, size = raw[pos:pos + 4], struct.unpack("<I", raw[pos + 4:pos + 8])[0]
        if tag == b"fmt ":
            fmt = struct.unpack("<HHIIHH", raw[pos + 8:pos + 24])
        elif tag == b"data":
            _, channels, rate, _, _, bits = fmt
            return channels, bits, rate, raw[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)
    raise SystemExit(f"{path} has no data chunk")


def samples24(data):
    """Signed values of 24-bit little-endian samples."""
    values = []
    for i in range(0, len(data) - 2, 3):
        v = data[i] | (data[i + 1] << 8) | (data[i + 2] << 16)
        values.append(v - (1 << 24) if v & 0x800000 else v)
    return values


# Words put before a built program's path: the emulator of a cross build.
EMULATOR = []


def program(build, name):
    return EMULATOR + [os.path.join(build, name)]


def run_wavsplice(build, folder, task_name):
    result = subprocess.run(program(build, "wavsplice") + [task_name], cwd=folder,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    out = result.stdout.decode()
    if result.returncode != 0 or "Built\t" not in out or "Could not generate" in out:
        raise SystemExit(f"wavsplice {task_name} failed (status {result.returncode}):\n{out}")
    return out


def crossfade_weights(build, folder, xf_type, constant_side):
    """Weights of one side across a crossfade: the other side is silence."""
    frames = CURVE_RATE  # one second each
    level = {"dest": CURVE_LEVEL if constant_side == "dest" else 0,
             "source": CURVE_LEVEL if constant_side == "source" else 0}
    for side, value in level.items():
        with open(os.path.join(folder, side + ".wav"), "wb") as f:
            f.write(wav_bytes(CURVE_RATE, 1, 24, frames, value))
    # The splice is half a second into both files, so half the width of audio
    # stands before it on both sides.
    task = ("src\tdest.wav\nins\t0\n"
            f"src\tsource.wav\nxin\t0.5\nins\t0.5\nxf\t{CURVE_WIDTH_MS}\t{xf_type}\n"
            "dest\tout.wav\n")
    with open(os.path.join(folder, "curve.txt"), "w") as f:
        f.write(task)
    run_wavsplice(build, folder, "curve.txt")
    _, _, _, data = read_wav(os.path.join(folder, "out.wav"))
    values = samples24(data)
    width = CURVE_RATE * CURVE_WIDTH_MS // 1000
    splice = CURVE_RATE // 2
    first = splice - width // 2
    return [v / CURVE_LEVEL for v in values[first:first + width]]


def svg_header(width, height, title):
    return [
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
        f'viewBox="0 0 {width} {height}" font-family="sans-serif" font-size="12">',
        f"<title>{title}</title>",
        f'<rect x="0" y="0" width="{width}" height="{height}" fill="#ffffff"/>',
    ]


def polyline(points, colour, dash=""):
    coords = " ".join(f"{x:.1f},{y:.1f}" for x, y in points)
    extra = f' stroke-dasharray="{dash}"' if dash else ""
    return (f'<polyline points="{coords}" fill="none" stroke="{colour}" '
            f'stroke-width="2"{extra}/>')


def curves_svg(weights):
    pw, ph = 300, 170            # plot area of one panel
    left, top = 50, 60           # margin of the first panel
    gap_x, gap_y = 80, 85
    width = left + 2 * pw + gap_x + 30
    height = top + 2 * ph + gap_y + 60
    lines = svg_header(width, height, "wavsplice crossfade curves")
    lines.append(f'<text x="{width / 2:.0f}" y="24" text-anchor="middle" font-size="15">'
                 f"Crossfade weights as wavsplice writes them ({CURVE_WIDTH_MS} ms at "
                 f"{CURVE_RATE} Hz)</text>")
    lines.append(f'<line x1="{width / 2 - 170:.0f}" y1="42" x2="{width / 2 - 145:.0f}" y2="42" '
                 f'stroke="{DEST_COLOUR}" stroke-width="2"/>')
    lines.append(f'<text x="{width / 2 - 140:.0f}" y="46">destination (fades out)</text>')
    lines.append(f'<line x1="{width / 2 + 20:.0f}" y1="42" x2="{width / 2 + 45:.0f}" y2="42" '
                 f'stroke="{SOURCE_COLOUR}" stroke-width="2" stroke-dasharray="6,3"/>')
    lines.append(f'<text x="{width / 2 + 50:.0f}" y="46">source (fades in)</text>')
    for xf_type in (1, 2, 3, 4):
        col, row = (xf_type - 1) % 2, (xf_type - 1) // 2
        x0 = left + col * (pw + gap_x)
        y0 = top + row * (ph + gap_y)
        lines.append(f'<text x="{x0 + pw / 2:.0f}" y="{y0 + 10}" text-anchor="middle" '
                     f'font-weight="bold">{CURVE_NAMES[xf_type]}</text>')
        y_top = y0 + 20
        for frac in (0.0, 0.5, 1.0):
            y = y_top + ph * (1 - frac)
            lines.append(f'<line x1="{x0}" y1="{y:.1f}" x2="{x0 + pw}" y2="{y:.1f}" '
                         f'stroke="#dddddd"/>')
            lines.append(f'<text x="{x0 - 6}" y="{y + 4:.1f}" text-anchor="end">{frac:g}</text>')
        splice_x = x0 + pw / 2
        lines.append(f'<line x1="{splice_x:.1f}" y1="{y_top}" x2="{splice_x:.1f}" '
                     f'y2="{y_top + ph}" stroke="#999999" stroke-dasharray="3,3"/>')
        lines.append(f'<rect x="{x0}" y="{y_top}" width="{pw}" height="{ph}" fill="none" '
                     f'stroke="#666666"/>')
        lines.append(f'<text x="{x0}" y="{y_top + ph + 16}" text-anchor="start">start</text>')
        lines.append(f'<text x="{splice_x:.1f}" y="{y_top + ph + 16}" '
                     f'text-anchor="middle">splice</text>')
        lines.append(f'<text x="{x0 + pw}" y="{y_top + ph + 16}" text-anchor="end">end</text>')
        for side, colour, dash in (("dest", DEST_COLOUR, ""), ("source", SOURCE_COLOUR, "6,3")):
            values = weights[(xf_type, side)]
            n = len(values)
            picked = list(range(0, n, 4)) + ([n - 1] if (n - 1) % 4 else [])
            points = [(x0 + pw * i / n, y_top + ph * (1 - values[i])) for i in picked]
            lines.append(polyline(points, colour, dash))
    lines.append("</svg>")
    return "\n".join(lines) + "\n"


def make_pictures(build):
    """The two SVG texts, by file name."""
    with tempfile.TemporaryDirectory(prefix="wavsplice-pictures-") as folder:
        weights = {}
        for xf_type in (1, 2, 3, 4):
            for side in ("dest", "source"):
                weights[(xf_type, side)] = crossfade_weights(build, folder, xf_type, side)
        curves = curves_svg(weights)

    with tempfile.TemporaryDirectory(prefix="wavsplice-timeline-") as folder:
        subprocess.run(program(build, "make_example_sources") + [folder], check=True,
                       stdout=subprocess.DEVNULL)
        recipe = os.path.basename(TIMELINE_RECIPE)
        with open(TIMELINE_RECIPE, "rb") as src, open(os.path.join(folder, recipe), "wb") as dst:
            dst.write(src.read())
        result = subprocess.run(program(build, "wavsplice") +
                                ["--check", "--timeline", "timeline.svg", recipe], cwd=folder,
                                stdout=subprocess.PIPE, check=False)
        if result.returncode != 0:
            raise SystemExit(f"wavsplice --check {recipe} failed:\n{result.stdout.decode()}")
        with open(os.path.join(folder, "timeline.svg"), encoding="utf-8") as f:
            timeline = f.read()
    return {"crossfade-curves.svg": curves, "timeline.svg": timeline}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build", help="build folder holding wavsplice and make_example_sources")
    parser.add_argument("--check", action="store_true",
                        help="compare with the pictures in docs/ instead of writing them")
    parser.add_argument("--emulator", default="",
                        help="command that runs the built programs (a cross build's qemu-user)")
    args = parser.parse_args()
    EMULATOR.extend(shlex.split(args.emulator))
    pictures = make_pictures(os.path.abspath(args.build))
    stale = []
    for name, text in pictures.items():
        path = os.path.join(DOCS, name)
        data = text.encode()
        if args.check:
            try:
                with open(path, "rb") as f:
                    if f.read() != data:
                        stale.append(name)
            except FileNotFoundError:
                stale.append(name)
        else:
            with open(path, "wb") as f:
                f.write(data)
    if stale:
        print("make_pictures.py: these pictures differ from what wavsplice now writes; "
              "run docs/make_pictures.py BUILD_DIR and commit them: " + ", ".join(stale))
        return 1
    print("make_pictures.py: " + ("pictures are up to date" if args.check else "pictures written"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
