#!/usr/bin/env bash
# A long cut list in one pass: a 30-minute 16-bit 44.1 kHz stereo recording
# (white noise from SoX, so that a frame out of place shows) with 40 cuts of
# 0.2 to 0.7 s from a label file, each join crossfaded over 10 ms. Renders
# it, then the hand-written equivalent (the 41 pieces appended in sample
# mode, with `handles` and the same default crossfade), times both and
# compares the two destinations byte for byte. With bench_strict_bound built
# (WAVSPLICE_BENCH=ON) and hyperfine installed, it also times the job's
# strict bound, the kept pieces read once and the destination written once,
# and prints the render's median as a ratio to it.
#   bench/cut_list.sh BUILD_DIR [MINUTES] [CUTS]
set -euo pipefail
build=$(cd "${1:?usage: bench/cut_list.sh BUILD_DIR [MINUTES] [CUTS]}" && pwd)
minutes=${2:-30}
cuts=${3:-40}
work=$(mktemp -d /tmp/wavsplice-cuts-XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"

sox -n -r 44100 -b 16 -c 2 long.wav synth "$((minutes * 60))" whitenoise vol 0.5

# The cuts, spread evenly, each at an odd time with six decimals as an
# editor exports them; every cut also has a frequency line after it.
awk -v seconds="$((minutes * 60))" -v cuts="$cuts" 'BEGIN {
  for (k = 0; k < cuts; k++) {
    from = (k + 0.5) * seconds / cuts + 0.123457 * (k % 7)
    printf "%.6f\t%.6f\tum %d\n\\\t100.000000\t900.000000\n", from, from + 0.2 + 0.0123 * (k % 41), k + 1
  }
}' >ums.labels
printf 'xf\t10\t1\nsrc\tlong.wav\ncuts\tums.labels\ndest\tcut.wav\n' >cut.txt

# The pieces by hand: frames as the program takes them, trunc(44100 x t).
awk -F '\t' 'BEGIN { print "using_samples"; print "handles"; print "xf\t10\t1"; start = 0 }
  /^\\/ { next }
  { from = int(44100 * $1); to = int(44100 * $2)
    printf "src\tlong.wav\nxin\t%d\nxout\t%d\n", start, from; start = to }
  END { printf "src\tlong.wav\nxin\t%d\ndest\thand.wav\n", start }' ums.labels >hand.txt

"$build/wavsplice" --check cut.txt >check.out
joins=$(grep -c '^	Crossfade with handles 10.000 ms, 441 samples' check.out || true)
echo "joins crossfaded over 441 samples: $joins of $cuts"
# Each render once untimed, then timed, the page cache synced before.
TIMEFORMAT='%R s wall, %U s user, %S s system'
for job in cut hand; do
  "$build/wavsplice" $job.txt >$job.out
  sync
  echo "render $job.txt: $({ time "$build/wavsplice" $job.txt >$job.out; } 2>&1)"
done
cmp cut.wav hand.wav && echo "cut.wav and hand.wav are identical ($(stat -c %s cut.wav) bytes)"

# The strict bound of the cut job: the kept pieces as spans of the source's
# audio (its data chunk found by walking the RIFF chunks), in the bound's plan.
strict="$build/bench/bench_strict_bound"
if [ -x "$strict" ] && command -v hyperfine >/dev/null 2>&1; then
  python3 - long.wav ums.labels >bound.txt <<'PLAN'
import struct, sys
wav, labels = sys.argv[1], sys.argv[2]
with open(wav, "rb") as f:
    f.seek(12)
    while True:
        ident, size = struct.unpack("<4sI", f.read(8))
        if ident == b"data":
            start, end = f.tell(), f.tell() + size
            break
        f.seek(size + (size & 1), 1)
frame = 4
print("out_bound.wav")
kept = start
for line in open(labels):
    if line.startswith("\\"):
        continue
    fields = line.split("\t")
    cut_from = start + int(44100 * float(fields[0])) * frame
    cut_to = start + int(44100 * float(fields[1])) * frame
    print(f"{wav}\t{kept}\t{cut_from - kept}\t{cut_from - kept}")
    kept = cut_to
print(f"{wav}\t{kept}\t{end - kept}\t{end - kept}")
PLAN
  hyperfine -N --warmup 2 --runs 15 --prepare 'sh -c "rm -f out_bound.wav cut.wav; sync"' \
    --export-json times.json "$strict bound.txt" "$build/wavsplice cut.txt" >/dev/null 2>&1
  python3 - times.json <<'RATIO'
import json, sys
bound, render = json.load(open(sys.argv[1]))["results"]
print(f"strict bound {bound['median']:.3f} s, render {render['median']:.3f} s (medians of 15): "
      f"{render['median'] / bound['median']:.2f}x the strict bound")
RATIO
fi
