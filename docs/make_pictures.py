#!/usr/bin/env python3
"""Draws the pictures of the task-file guide from what wavsplice itself writes.

  crossfade-curves.svg  the weights of the destination and of the source across
                        a crossfade, for the four curve types: wavsplice renders
                        crossfades between a constant signal and silence, and the
                        samples it writes are the weights.
  timeline.svg          where each edit of examples/recipes/insert.txt lands in
                        the destination, from the report of a real run, over the
                        loudness of the destination it wrote.

Usage: make_pictures.py BUILD_DIR            write the pictures into docs/
       make_pictures.py --check BUILD_DIR    fail when docs/ holds other bytes

BUILD_DIR holds the built wavsplice and make_example_sources. Python's standard
library only.
"""

import argparse
import array
import os
import re
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


def run_wavsplice(build, folder, task_name):
    result = subprocess.run([os.path.join(build, "wavsplice"), task_name], cwd=folder,
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


def parse_report(out):
    """Report blocks in write order: task number, file, insert point, read start, length."""
    edits = []
    pattern = re.compile(r"Task (\d+)\tInsert point ([\d.]+) sec\n\tFile (.*)\n"
                         r"\tRead start ([\d.]+) sec\n\tRead length ([\d.]+) sec\n"
                         r"\tLevel (-?[\d.]+) dB\n")
    for m in pattern.finditer(out):
        edits.append({"task": int(m.group(1)), "file": m.group(3),
                      "ins": float(m.group(2)), "start": float(m.group(4)),
                      "length": float(m.group(5)), "level": float(m.group(6))})
    return edits


def crossfade_widths(task_path):
    """(width in seconds, type) of each task-file entry's crossfade; width 0 without one."""
    with open(task_path) as f:
        tokens = [t for t in re.split(r"[\t\n]+", f.read()) if t]
    widths, i = [], 0
    while i < len(tokens):
        if tokens[i] == "src":
            widths.append((0.0, 0))
        elif tokens[i] == "xf" and widths and i + 2 < len(tokens):
            xf_type = int(tokens[i + 2])
            widths[-1] = (float(tokens[i + 1]) / 1000 if xf_type else 0.0, xf_type)
        i += 1
    return widths


def envelope(path, bins):
    """Peak level (0..1) of the left channel in each of bins equal slices."""
    channels, bits, rate, data = read_wav(path)
    if bits != 16:
        raise SystemExit(f"{path}: the timeline expects 16-bit audio")
    values = array.array("h")
    values.frombytes(data[:len(data) // 2 * 2])
    if sys.byteorder != "little":
        values.byteswap()
    left = values[::channels]
    frames = len(left)
    peaks = []
    for b in range(bins):
        part = left[frames * b // bins:frames * (b + 1) // bins]
        peaks.append(max((abs(v) for v in part), default=0) / 32768)
    return frames / rate, peaks


def timeline_svg(edits, widths, seconds, peaks, recipe_name, dest_name):
    left, right, top = 170, 30, 50
    pw = len(peaks)
    lane, lane_gap = 26, 10
    width = left + pw + right
    lanes_h = len(edits) * (lane + lane_gap)
    wave_top = top + lanes_h + 20
    wave_h = 80
    height = wave_top + wave_h + 60
    scale = pw / seconds
    palette = ["#4c78a8", "#f58518", "#54a24b", "#b279a2", "#e45756"]
    lines = svg_header(width, height, f"wavsplice timeline of {recipe_name}")
    lines.append(f'<text x="{width / 2:.0f}" y="24" text-anchor="middle" font-size="15">'
                 f"Where the edits of {recipe_name} land in {dest_name}, in the order "
                 f"they are written</text>")
    for second in range(int(seconds) + 1):
        x = left + second * scale
        lines.append(f'<line x1="{x:.1f}" y1="{top - 8}" x2="{x:.1f}" '
                     f'y2="{wave_top + wave_h}" stroke="#eeeeee"/>')
        lines.append(f'<text x="{x:.1f}" y="{wave_top + wave_h + 18}" '
                     f'text-anchor="middle">{second}</text>')
    lines.append(f'<text x="{left + pw / 2:.0f}" y="{wave_top + wave_h + 38}" '
                 f'text-anchor="middle">seconds in the destination</text>')
    for k, edit in enumerate(edits):
        y = top + k * (lane + lane_gap)
        colour = palette[(edit["task"] - 1) % len(palette)]
        begin, end = edit["ins"], edit["ins"] + edit["length"]
        lines.append(f'<text x="{left - 8}" y="{y + 12}" text-anchor="end">'
                     f'Task {edit["task"]}: {edit["file"]}</text>')
        lines.append(f'<text x="{left - 8}" y="{y + 25}" text-anchor="end" fill="#666666" '
                     f'font-size="10">from {edit["start"]:.3f} s, {edit["length"]:.3f} s long'
                     f"</text>")
        # What later edits write over is drawn pale: it does not survive.
        later = sorted((e["ins"], e["ins"] + e["length"]) for e in edits[k + 1:])
        pos = begin
        pieces = []
        for lo, hi in later:
            if hi <= pos or lo >= end:
                continue
            if lo > pos:
                pieces.append((pos, lo, True))
            pieces.append((max(lo, pos), min(hi, end), False))
            pos = max(pos, min(hi, end))
        if pos < end:
            pieces.append((pos, end, True))
        for lo, hi, kept in pieces:
            opacity = "1" if kept else "0.25"
            lines.append(f'<rect x="{left + lo * scale:.1f}" y="{y}" '
                         f'width="{(hi - lo) * scale:.1f}" height="{lane}" fill="{colour}" '
                         f'fill-opacity="{opacity}"/>')
        xf, xf_type = widths[edit["task"] - 1]
        if xf > 0:
            x = left + (begin - xf / 2) * scale
            lines.append(f'<rect x="{x:.1f}" y="{y - 3}" width="{xf * scale:.1f}" '
                         f'height="{lane + 6}" fill="none" stroke="#000000" stroke-width="1.5"/>')
            lines.append(f'<text x="{x + xf * scale + 4:.1f}" y="{y + lane + 8}" '
                         f'font-size="10">crossfade {xf * 1000:.0f} ms, type {xf_type}</text>')
    lines.append(f'<text x="{left - 8}" y="{wave_top + wave_h / 2 + 4:.0f}" '
                 f'text-anchor="end">{dest_name}</text>')
    mid = wave_top + wave_h / 2
    upper = [(left + i + 0.5, mid - peak * wave_h / 2) for i, peak in enumerate(peaks)]
    lower = [(left + i + 0.5, mid + peak * wave_h / 2) for i, peak in reversed(list(enumerate(peaks)))]
    coords = " ".join(f"{x:.1f},{y:.1f}" for x, y in upper + lower)
    lines.append(f'<polygon points="{coords}" fill="#555555"/>')
    lines.append(f'<rect x="{left}" y="{wave_top}" width="{pw}" height="{wave_h}" fill="none" '
                 f'stroke="#666666"/>')
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
        subprocess.run([os.path.join(build, "make_example_sources"), folder], check=True,
                       stdout=subprocess.DEVNULL)
        recipe = os.path.basename(TIMELINE_RECIPE)
        with open(TIMELINE_RECIPE, "rb") as src, open(os.path.join(folder, recipe), "wb") as dst:
            dst.write(src.read())
        out = run_wavsplice(build, folder, recipe)
        dest_name = re.search(r"Built\t(.*)\n", out).group(1)
        seconds, peaks = envelope(os.path.join(folder, dest_name), 600)
        timeline = timeline_svg(parse_report(out), crossfade_widths(TIMELINE_RECIPE), seconds,
                                peaks, "examples/recipes/" + recipe, dest_name)
    return {"crossfade-curves.svg": curves, "timeline.svg": timeline}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build", help="build folder holding wavsplice and make_example_sources")
    parser.add_argument("--check", action="store_true",
                        help="compare with the pictures in docs/ instead of writing them")
    args = parser.parse_args()
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
