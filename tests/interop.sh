#!/usr/bin/env bash
# Proves that what wavsplice writes opens in SoX and FFmpeg as what it claims
# to be, and that it takes what they write:
#  - every bundled example and recipe, and renders in 16/24-bit mono/stereo
#    with levels and crossfades: `sox --i` and ffprobe read the expected rate,
#    channels, bit depth and exact sample count, and the samples SoX and
#    FFmpeg decode to raw equal the bytes wavsplice wrote;
#  - sources written by FFmpeg (24-bit: WAVE_FORMAT_EXTENSIBLE with a LIST
#    chunk) and by SoX are accepted and copied sample-exactly.
# Usage: tests/interop.sh BUILD_DIR   (holding wavsplice and make_example_sources)
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: tests/interop.sh BUILD_DIR"
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
wavsplice=$build/wavsplice
for tool in "$wavsplice" "$build/make_example_sources"; do
  [ -x "$tool" ] || { echo "interop: $tool is not built"; exit 2; }
done

if ! command -v sox >/dev/null 2>&1 || ! command -v ffprobe >/dev/null 2>&1; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y sox ffmpeg
fi

work=$(mktemp -d /tmp/wavsplice-interop-XXXXXX)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

pass() { passed=$((passed + 1)); }
fail() {
  failed=$((failed + 1))
  echo "FAIL: $*"
}
# expect WHAT GOT WANTED
expect() {
  if [ "$2" = "$3" ]; then pass; else fail "$1: got '$2', expected '$3'"; fi
}

# The audio bytes of a WAV file, by its data chunk's size field.
data_bytes() {
  python3 - "$1" "$2" <<'EOF'
import struct, sys
raw = open(sys.argv[1], "rb").read()
pos = 12
while pos + 8 <= len(raw):
    tag, size = raw[pos:pos + 4], struct.unpack("<I", raw[pos + 4:pos + 8])[0]
    if tag == b"data":
        open(sys.argv[2], "wb").write(raw[pos + 8:pos + 8 + size])
        break
    pos += 8 + size + (size & 1)
else:
    sys.exit("no data chunk in " + sys.argv[1])
EOF
}

# Format tag (and sub-format) and chunk list of a WAV file, e.g.
# "fffe/1 fmt LIST data".
chunk_layout() {
  python3 - "$1" <<'EOF'
import struct, sys
raw = open(sys.argv[1], "rb").read()
pos, tags, fmt = 12, [], ""
while pos + 8 <= len(raw):
    tag, size = raw[pos:pos + 4], struct.unpack("<I", raw[pos + 4:pos + 8])[0]
    tags.append(tag.decode("latin1").strip())
    if tag == b"fmt ":
        code = struct.unpack("<H", raw[pos + 8:pos + 10])[0]
        fmt = "%x" % code
        if code == 0xFFFE:
            fmt += "/%d" % struct.unpack("<H", raw[pos + 32:pos + 34])[0]
    pos += 8 + size + (size & 1)
print(fmt, " ".join(tags))
EOF
}

# check_file FILE RATE CHANNELS BITS FRAMES: what SoX and FFmpeg read and decode.
check_file() {
  local file=$1 rate=$2 channels=$3 bits=$4 frames=$5 name
  name=$(basename "$(dirname "$file")")/$(basename "$file")
  expect "$name: sox rate" "$(sox --i -r "$file")" "$rate"
  expect "$name: sox channels" "$(sox --i -c "$file")" "$channels"
  expect "$name: sox bits" "$(sox --i -b "$file")" "$bits"
  expect "$name: sox samples" "$(sox --i -s "$file")" "$frames"
  expect "$name: ffprobe" \
    "$(ffprobe -v error -select_streams a:0 -show_entries \
        stream=codec_name,sample_rate,channels,bits_per_sample,duration_ts \
        -of csv=p=0 "$file")" \
    "pcm_s${bits}le,$rate,$channels,$bits,$frames"

  data_bytes "$file" "$file.ours.raw"
  expect "$name: data bytes" "$(stat -c %s "$file.ours.raw")" "$((frames * channels * bits / 8))"
  sox "$file" -t raw "$file.sox.raw"
  if cmp -s "$file.ours.raw" "$file.sox.raw"; then pass; else fail "$name: SoX decodes other samples"; fi
  ffmpeg -v error -y -i "$file" -f "s${bits}le" -c:a "pcm_s${bits}le" "$file.ff.raw"
  if cmp -s "$file.ours.raw" "$file.ff.raw"; then pass; else fail "$name: FFmpeg decodes other samples"; fi
}

# run_task DIR TASK: renders and checks the run succeeded with every crossfade.
run_task() {
  local out status=0
  out=$(cd "$1" && "$wavsplice" "$2") || status=$?
  if [ "$status" -ne 0 ] || [[ "$out" == *"Could not generate crossfade"* ]]; then
    fail "$(basename "$1")/$2: status $status"
    echo "$out"
    return 1
  fi
  pass
}

echo "== the bundled example and the recipes"
# Sample counts of each destination (16-bit stereo at 44100 but the last).
declare -A example_frames=(
  [task.txt]="programme.wav 44100 2 16 277830"
  [assemble.txt]="programme.wav 44100 2 16 392490"
  [replace.txt]="replaced.wav 44100 2 16 352800"
  [insert.txt]="inserted.wav 44100 2 16 441000"
  [level.txt]="levelled.wav 44100 2 16 352800"
  [samples.txt]="bells.wav 48000 1 24 68000"
)
for task in "$root/examples/task.txt" "$root"/examples/recipes/*.txt; do
  name=$(basename "$task")
  if [ -z "${example_frames[$name]:-}" ]; then
    fail "$name: no expected format in tests/interop.sh"
    continue
  fi
  dir=$work/example-${name%.txt}
  mkdir -p "$dir"
  "$build/make_example_sources" "$dir"
  cp "$task" "$dir/$name"
  read -r dest rate channels bits frames <<<"${example_frames[$name]}"
  run_task "$dir" "$name" && check_file "$dir/$dest" "$rate" "$channels" "$bits" "$frames"
done

echo "== 16/24-bit mono/stereo with sources written by SoX and FFmpeg"
# case: bits channels rate mode crossfade-type
cases=(
  "16 1 44100 seconds 1"
  "16 2 44100 samples 2"
  "24 1 48000 samples 3"
  "24 2 96000 seconds 4"
)
for case_line in "${cases[@]}"; do
  read -r bits channels rate mode xftype <<<"$case_line"
  dir=$work/case-${bits}bit-${channels}ch-$rate-$mode
  mkdir -p "$dir"
  if [ "$channels" -eq 1 ]; then
    expr="0.4*sin(2*PI*440*t)"
    synth=(sine 440)
  else
    expr="0.4*sin(2*PI*440*t)|0.3*sin(2*PI*660*t)"
    synth=(sine 440 sine 660)
  fi
  ffmpeg -v error -f lavfi -i "aevalsrc=$expr:s=$rate:d=3" -c:a "pcm_s${bits}le" \
    -metadata title="interop take" -metadata artist="wavsplice tests" "$dir/ffmpeg.wav"
  sox -D -n -r "$rate" -b "$bits" -c "$channels" "$dir/sox.wav" synth 3 "${synth[@]}" vol 0.5

  layout=$(chunk_layout "$dir/ffmpeg.wav")
  if [ "$bits" -eq 24 ]; then
    expect "$dir: FFmpeg source layout" "$layout" "fffe/1 fmt LIST data"
  else
    expect "$dir: FFmpeg source layout" "$layout" "1 fmt LIST data"
  fi

  # Times of the task in seconds; in sample mode the same points as samples.
  t() {
    if [ "$mode" = samples ]; then python3 -c "print(int($1 * $rate))"; else echo "$1"; fi
  }
  {
    [ "$mode" = samples ] && echo "using_samples"
    printf 'src\tsox.wav\nxout\t%s\nins\t0\n' "$(t 2.25)"
    printf 'src\tffmpeg.wav\nxin\t%s\nxout\t%s\nins\t%s\nlvl\t-4\nxf\t40\t%s\n' \
      "$(t 0.5)" "$(t 2.5)" "$(t 2)" "$xftype"
    printf 'src\tsox.wav\nxin\t%s\nlvl\t2.5\nxf\t20\t3\n' "$(t 1)"
    printf 'dest\tmixed.wav\n'
  } >"$dir/mix.txt"
  # sox 0..2.25 at 0; ffmpeg 0.5..2.5 at 2; sox 1..3 appended at 4: 6 seconds.
  run_task "$dir" mix.txt && check_file "$dir/mixed.wav" "$rate" "$channels" "$bits" "$((6 * rate))"

  # Plain copies: the samples between 0.25 s and 2.75 s, exactly as the
  # producer's own decoder reads them from its file.
  frame=$((channels * bits / 8))
  for producer in sox ffmpeg; do
    {
      [ "$mode" = samples ] && echo "using_samples"
      printf 'src\t%s.wav\nxin\t%s\nxout\t%s\ndest\tcopy-%s.wav\n' \
        "$producer" "$(t 0.25)" "$(t 2.75)" "$producer"
    } >"$dir/copy-$producer.txt"
    run_task "$dir" "copy-$producer.txt" || continue
    check_file "$dir/copy-$producer.wav" "$rate" "$channels" "$bits" "$((rate * 5 / 2))"
    if [ "$producer" = sox ]; then
      sox "$dir/sox.wav" -t raw "$dir/source.raw"
    else
      ffmpeg -v error -y -i "$dir/ffmpeg.wav" -f "s${bits}le" -c:a "pcm_s${bits}le" "$dir/source.raw"
    fi
    dd if="$dir/source.raw" of="$dir/source-span.raw" bs=65536 iflag=skip_bytes,count_bytes \
      skip=$((rate / 4 * frame)) count=$((rate * 5 / 2 * frame)) status=none
    if cmp -s "$dir/copy-$producer.wav.ours.raw" "$dir/source-span.raw"; then
      pass
    else
      fail "$dir: the copy of the $producer source differs from its samples"
    fi
  done
done

echo "interop: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
