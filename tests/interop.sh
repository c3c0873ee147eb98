#!/usr/bin/env bash
# Proves that what wavsplice writes opens in SoX and FFmpeg as what it claims
# to be, and that it takes what they write:
#  - every bundled example and recipe, and renders in 16/24-bit mono/stereo
#    with levels and crossfades: `sox --i` and ffprobe read the expected rate,
#    channels, bit depth and exact sample count, and the samples SoX and
#    FFmpeg decode to raw equal the bytes wavsplice wrote;
#  - sources written by FFmpeg (24-bit: WAVE_FORMAT_EXTENSIBLE with a LIST
#    chunk) and by SoX are accepted and copied sample-exactly;
#  - 8 and 32-bit integer and 32 and 64-bit float, mono, stereo and 6
#    channels (and 16/24-bit in 6 channels): SoX, FFmpeg and libsndfile
#    (sndfile-info, sndfile-cmp) read the destination's format, channel count
#    and, for 6 channels, the 5.1 channel mask; 0 dB spans are the source's
#    samples as each tool decodes them.
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

if ! command -v sox >/dev/null 2>&1 || ! command -v ffprobe >/dev/null 2>&1 ||
  ! command -v sndfile-info >/dev/null 2>&1; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y sox ffmpeg sndfile-programs
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
# Sample counts of each destination (16-bit stereo at 44100 but bells.wav).
declare -A example_frames=(
  [task.txt]="programme.wav 44100 2 16 277830"
  [assemble.txt]="programme.wav 44100 2 16 374850"
  [replace.txt]="replaced.wav 44100 2 16 352800"
  [insert.txt]="inserted.wav 44100 2 16 441000"
  [level.txt]="levelled.wav 44100 2 16 352800"
  [samples.txt]="bells.wav 48000 1 24 68000"
  [deliver.txt]="delivered.wav 44100 2 16 374850"
  [remove-ums.txt]="cleaned.wav 44100 2 16 310904"
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

echo "== 8/32-bit integer and 32/64-bit float, mono, stereo and 6 channels"
# name bits sox-encoding ffmpeg-codec raw-format fmt-tag (of a 1-2 channel destination)
formats=(
  "u8 8 Unsigned pcm_u8 u8 0x1"
  "s16 16 Signed pcm_s16le s16le 0x1"
  "s24 24 Signed pcm_s24le s24le 0x1"
  "s32 32 Signed pcm_s32le s32le 0x1"
  "f32 32 Floating pcm_f32le f32le 0x3"
  "f64 64 Floating pcm_f64le f64le 0x3"
)
declare -A layouts=([1]=mono [2]=stereo [6]=5.1)
# The layout FFmpeg reads: plain headers carry none, extensible ones the mask.
declare -A read_layouts=([1]=unknown [2]=unknown [6]=5.1)
rate=48000
for format_line in "${formats[@]}"; do
  read -r name bits encoding codec raw tag <<<"$format_line"
  for channels in 1 2 6; do
    # 16 and 24-bit mono and stereo are the cases above.
    if [ "$bits" -le 24 ] && [ "$name" != u8 ] && [ "$channels" -le 2 ]; then continue; fi
    dir=$work/format-$name-${channels}ch
    mkdir -p "$dir"
    label="$name ${channels}ch"
    # Float sources go beyond full scale: nothing may limit them.
    amplitude=0.4
    [[ "$name" == f* ]] && amplitude=1.3
    expr=""
    for ((c = 1; c <= channels; c++)); do
      expr+="${expr:+|}$amplitude*sin(2*PI*$((110 * c))*t)"
    done
    ffmpeg -v error -f lavfi -i "aevalsrc=$expr:s=$rate:d=3:c=${layouts[$channels]}" \
      -c:a "$codec" "$dir/source.wav"

    printf 'src\tsource.wav\nxin\t0.25\nxout\t2.75\ndest\tspan.wav\n' >"$dir/span.txt"
    printf 'src\tsource.wav\ndest\twhole.wav\n' >"$dir/whole.txt"
    printf 'src\tsource.wav\nxout\t2\nsrc\tsource.wav\nxin\t1\nins\t1.5\nlvl\t4\nxf\t50\t1\n' >"$dir/mix.txt"
    printf 'src\tsource.wav\nxin\t0.5\nlvl\t-7\nxf\t30\t4\ndest\tmixed.wav\n' >>"$dir/mix.txt"
    run_task "$dir" span.txt || continue
    run_task "$dir" whole.txt || continue
    run_task "$dir" mix.txt || continue

    for file in span whole mixed; do
      wav=$dir/$file.wav
      expect "$label $file: sox channels" "$(sox --i -c "$wav")" "$channels"
      expect "$label $file: sox bits" "$(sox --i -b "$wav")" "$bits"
      expect "$label $file: sox encoding" "$(sox --i -e "$wav" | cut -d' ' -f1)" "$encoding"
      expect "$label $file: ffprobe" \
        "$(ffprobe -v error -select_streams a:0 -show_entries \
            stream=codec_name,sample_rate,channels,channel_layout -of csv=p=0 "$wav")" \
        "$codec,$rate,$channels,${read_layouts[$channels]}"
      info=$(sndfile-info "$wav")
      want_tag=$tag
      [ "$channels" -gt 2 ] && want_tag=0xFFFE
      expect "$label $file: sndfile-info format" \
        "$(grep -m1 -o 'Format        : 0x[0-9A-Fa-f]*' <<<"$info" | awk '{print $3}')" "$want_tag"
      expect "$label $file: sndfile-info channels" \
        "$(awk -F': ' '/^Channels    :/ {print $2}' <<<"$info")" "$channels"
      if [ "$channels" -eq 6 ]; then
        expect "$label $file: sndfile-info mask" \
          "$(grep -o 'Channel Mask  : 0x[0-9A-F]*' <<<"$info" | awk '{print $4}')" "0x3F"
      fi
    done
    expect "$label: span frames" "$(sox --i -s "$dir/span.wav")" "$((rate * 5 / 2))"

    # 0 dB: the whole copy is the source to libsndfile, and the span is the
    # source's samples as SoX and FFmpeg decode them.
    if sndfile-cmp "$dir/source.wav" "$dir/whole.wav" >/dev/null; then
      pass
    else
      fail "$label: sndfile-cmp finds the whole copy differs from the source"
    fi
    frame=$((channels * bits / 8))
    for tool in sox ffmpeg; do
      if [ "$tool" = sox ]; then
        # (SoX decodes float through 32-bit integers, limiting both alike.)
        sox -V1 "$dir/source.wav" -t raw "$dir/source.$tool.raw"
        sox -V1 "$dir/span.wav" -t raw "$dir/span.$tool.raw"
      else
        ffmpeg -v error -y -i "$dir/source.wav" -f "$raw" -c:a "$codec" "$dir/source.$tool.raw"
        ffmpeg -v error -y -i "$dir/span.wav" -f "$raw" -c:a "$codec" "$dir/span.$tool.raw"
      fi
      dd if="$dir/source.$tool.raw" of="$dir/source-span.$tool.raw" bs=65536 \
        iflag=skip_bytes,count_bytes skip=$((rate / 4 * frame)) count=$((rate * 5 / 2 * frame)) \
        status=none
      if cmp -s "$dir/span.$tool.raw" "$dir/source-span.$tool.raw"; then
        pass
      else
        fail "$label: the span differs from the source's samples as $tool decodes them"
      fi
    done
  done
done

echo "interop: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
