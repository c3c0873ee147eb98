#!/usr/bin/env bash
# The wavsplice benchmark: one command from a clean clone.
#
#   bench/run.sh            full run: 10-minute sources, 5 timed runs each,
#                           writes docs/performance.md
#   bench/run.sh --tiny     smoke run: 6-second sources, one run each, writes
#                           BUILD/bench-tiny/performance.md (for CI)
#   bench/run.sh --runs N   full run with N timed runs each (at least 5)
#
# For each scenario (assemble, copy, many) and format (16-bit 44.1 kHz and
# 24-bit 48 kHz stereo; for assemble also 32-bit float 6-channel 48 kHz) it
# runs wavsplice with the processor's own kernels, wavsplice with the
# portable loops (WAVSPLICE_KERNELS=portable), the equivalent SoX job, the equivalent FFmpeg job, the
# bound (bench_bound: the spans' bytes read once, the destination's bytes
# written once) and the strict bound (bench_strict_bound: each source opened
# once, the spans' bytes read once and the destination written once, in
# large reads and writes), each after one untimed warm run, and reports the
# median wall time, the peak resident memory (/usr/bin/time -v) and each
# time as a ratio to both bounds. With strace installed it also counts the
# system calls of the 500-span job. Before every run
# the page cache is synced and the previous output removed, so no tool pays
# for another's writeback or for truncating an old file.
# Environment: BUILD (build folder, default build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

tiny=0
runs=5
while [ $# -gt 0 ]; do
  case "$1" in
    --tiny) tiny=1; runs=1 ;;
    --runs) runs="$2"; shift ;;
    *) echo "usage: bench/run.sh [--tiny | --runs N]"; exit 1 ;;
  esac
  shift
done
if [ "$tiny" = 0 ] && [ "$runs" -lt 5 ]; then
  echo "a full run takes at least 5 timed runs"
  exit 1
fi

# --- tools ---------------------------------------------------------------
need=()
command -v sox >/dev/null 2>&1 || need+=(sox)
command -v ffmpeg >/dev/null 2>&1 || need+=(ffmpeg)
[ -x /usr/bin/time ] || need+=(time)
for pkg in cmake ninja-build g++ libbenchmark-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ "${#need[@]}" -gt 0 ]; then
  echo "== installing ${need[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y "${need[@]}"
fi

# --- build ---------------------------------------------------------------
build="${BUILD:-build-bench}"
echo "== release build in $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWAVSPLICE_BENCH=ON \
  -DWAVSPLICE_TESTS=OFF >/dev/null
cmake --build "$build" --target wavsplice bench_inputs bench_bound bench_strict_bound bench_empty wavsplice_microbench
wavsplice="$root/$build/wavsplice"
bound="$root/$build/bench/bench_bound"
strict="$root/$build/bench/bench_strict_bound"
empty="$root/$build/bench/bench_empty"

if [ "$tiny" = 1 ]; then
  seconds=6
  data="$build/bench-tiny"
  report="$data/performance.md"
else
  seconds=600
  data="$build/bench-data"
  report="docs/performance.md"
fi
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
echo "== inputs: two ${seconds}-second sources per format in $data"
"$build/bench/bench_inputs" "$data" "$seconds"
data=$(cd "$data" && pwd)

# --- measuring -----------------------------------------------------------
# Runs the tool's command in the current folder with its output removed and
# the page cache synced first; prints the wall time in nanoseconds.
run_once() {
  rm -f out_*.wav
  run_over_old "$@"
}

# The same with the previous output left in place: wavsplice replaces it.
run_over_old() {
  sync
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  echo $((end - start))
}

# Peak resident memory of one run of the command, in KiB.
peak_kib() {
  rm -f out_*.wav
  sync
  /usr/bin/time -v "$@" 2>time.txt >/dev/null
  awk -F': ' '/Maximum resident set size/ {print $2}' time.txt
}

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# The median peak of several runs (the first argument): a single run's peak
# moves by 0.1 to 0.2 MiB with the library pages it happens to touch.
median_peak_kib() {
  local count=$1
  shift
  for _ in $(seq "$count"); do peak_kib "$@"; done | median
}

seconds_of() { awk -v ns="$1" 'BEGIN {printf "%.3f", ns / 1e9}'; }
mib_of() { awk -v kib="$1" 'BEGIN {printf "%.1f", kib / 1024}'; }
ratio_of() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

# Sets tool_cmd to the command of a tool for the job in the current folder.
# The kernels are chosen in the environment, not through env(1), whose own
# start would count in the kernel rows' times.
set_command() {
  unset WAVSPLICE_KERNELS
  case "$1" in
    wavsplice) tool_cmd=("$wavsplice" task.txt) ;;
    sox) mapfile -t tool_cmd <sox.args ;;
    ffmpeg) mapfile -t tool_cmd <ffmpeg.args ;;
    bound) tool_cmd=("$bound" bound.txt) ;;
    strict) tool_cmd=("$strict" bound.txt) ;;
    portable | avx2) tool_cmd=("$wavsplice" task.txt) && export WAVSPLICE_KERNELS="$1" ;;
  esac
}

tools=(strict bound wavsplice portable sox ffmpeg)
# The kernels wavsplice picks here by itself: the widest the processor has.
flags=$(awk -F': *' '/^flags/ {print $2; exit}' /proc/cpuinfo)
has() { grep -qw "$1" <<<"$flags"; }
kernels=portable
if has avx2; then kernels=avx2; fi
if has avx512f && has avx512bw && has avx512dq && has avx512vbmi; then kernels=avx512; fi
# A processor with AVX-512 also stands for one with AVX2 alone.
if [ "$kernels" = avx512 ]; then tools=(strict bound wavsplice avx2 portable sox ffmpeg); fi
declare -A wall rss
rows=()
verdicts=()
wavsplice_kib=()
# Job folders are <scenario>_<format>; the 6-channel float format has the
# assemble job only. wavsplice writes its float sources' header (80 bytes:
# extensible with a fact chunk), the bound a 44-byte one.
declare -A format_label=([16]="16-bit" [24]="24-bit" [f32x6]="32-bit float 6 ch")
declare -A header_bytes=([16]=44 [24]=44 [f32x6]=80)
for job in assemble_16 assemble_24 assemble_f32x6 copy_16 copy_24 many_16 many_24; do
  scenario=${job%%_*}
  fmt=${job#*_}
  cd "$data/$job"
  # The tools take turns, run by run, so that a machine that slows down or
  # speeds up over the job's runs weighs on every tool alike.
  declare -A times=()
  for tool in "${tools[@]}"; do
    set_command "$tool"
    echo "-- $job $tool"
    [ "$tiny" = 1 ] || run_once "${tool_cmd[@]}" >/dev/null  # warm run
  done
  # wavsplice and the bounds take a few hundredths of a second, in which this
  # shared machine's noise is a tenth: they run three times as often as the
  # slow tools, which stop taking turns after their runs.
  for round in $(seq "$((runs * 3))"); do
    for tool in "${tools[@]}"; do
      case "$tool" in sox | ffmpeg) [ "$round" -le "$runs" ] || continue ;; esac
      set_command "$tool"
      times[$tool]+="$(run_once "${tool_cmd[@]}") "
    done
  done
  for tool in "${tools[@]}"; do
    set_command "$tool"
    wall[$job,$tool]=$(printf '%s\n' ${times[$tool]} | median)
    case "$tool" in
      sox | ffmpeg) rss[$job,$tool]=$(peak_kib "${tool_cmd[@]}") ;;
      *) rss[$job,$tool]=$(median_peak_kib 3 "${tool_cmd[@]}") ;;
    esac
  done
  # Every tool wrote a destination of the bound's length; for the plain
  # copy wavsplice's audio is the bound's, byte for byte.
  "$bound" bound.txt
  "$wavsplice" task.txt >/dev/null
  want=$(($(stat -c %s out_bound.wav) - 44))
  got=$(($(stat -c %s out_wavsplice.wav) - ${header_bytes[$fmt]}))
  if [ "$got" != "$want" ]; then
    echo "$job: wavsplice wrote $got bytes of audio, the bound $want"
    exit 1
  fi
  if [ "$scenario" = copy ] && ! cmp -s <(tail -c +45 out_wavsplice.wav) <(tail -c +45 out_bound.wav); then
    echo "$job: wavsplice's copy differs from the spans' bytes"
    exit 1
  fi
  # Whichever kernels run, the destination is the same.
  mv out_wavsplice.wav out_native.wav
  for other in avx2 portable; do
    WAVSPLICE_KERNELS=$other "$wavsplice" task.txt >/dev/null
    if ! cmp -s out_native.wav out_wavsplice.wav; then
      echo "$job: the $other kernels wrote other bytes than the $kernels kernels"
      exit 1
    fi
  done
  rm -f out_*.wav time.txt
  # The strict bound does less than the plain one, so a median of it above the plain bound's is
  # the machine's noise (on a shared virtual machine its system time sometimes triples for a few
  # runs in a row): the faster of the two is the one the ratios take.
  strict_ref=${wall[$job,strict]}
  [ "${wall[$job,bound]}" -lt "$strict_ref" ] && strict_ref=${wall[$job,bound]}
  wall[$job,strict]=$strict_ref
  for tool in "${tools[@]}"; do
    rows+=("| $scenario | ${format_label[$fmt]} | $tool | $(seconds_of "${wall[$job,$tool]}") | $(mib_of "${rss[$job,$tool]}") | $(ratio_of "${wall[$job,$tool]}" "${wall[$job,bound]}") | $(ratio_of "${wall[$job,$tool]}" "${wall[$job,strict]}") |")
  done
  w=${wall[$job,wavsplice]}
  wavsplice_kib+=("${rss[$job,wavsplice]}" "${rss[$job,portable]}" "${rss[$job,avx2]:-0}")
  avx2_ratio="—"
  [ -n "${wall[$job,avx2]:-}" ] && avx2_ratio=$(ratio_of "${wall[$job,avx2]}" "${wall[$job,strict]}")
  verdicts+=("| $scenario | ${format_label[$fmt]} | $(ratio_of "$w" "${wall[$job,bound]}") | $(ratio_of "$w" "${wall[$job,strict]}") | $avx2_ratio | $(ratio_of "${wall[$job,portable]}" "${wall[$job,strict]}") | $(ratio_of "${wall[$job,sox]}" "$w") | $(ratio_of "${wall[$job,ffmpeg]}" "$w") |")
done

# Replacing a destination whole (built beside it, renamed over it) against
# writing a new one: the assemble jobs, run alternately to a new name and
# over the previous output.
replace_rows=()
for bits in 16 24; do
  cd "$data/assemble_$bits"
  fresh=()
  over=()
  for _ in $(seq "$runs"); do
    fresh+=("$(run_once "$wavsplice" task.txt)")
    over+=("$(run_over_old "$wavsplice" task.txt)")
  done
  f=$(printf '%s\n' "${fresh[@]}" | median)
  o=$(printf '%s\n' "${over[@]}" | median)
  replace_rows+=("| assemble | $bits-bit | $(seconds_of "$f") | $(seconds_of "$o") | $(awk -v a="$o" -v b="$f" 'BEGIN {printf "%+.3f", (a - b) / 1e9}') |")
  rm -f out_*.wav
done

# What --loudness adds: the destination read once more through the PCM
# codec and the loudness meter, before it is renamed into place.
loudness_rows=()
for job in assemble_16 assemble_24 assemble_f32x6 copy_16 copy_24 many_16 many_24; do
  scenario=${job%%_*}
  fmt=${job#*_}
  cd "$data/$job"
  plain=()
  measured=()
  [ "$tiny" = 1 ] || run_once "$wavsplice" --loudness task.txt >/dev/null  # warm run
  for _ in $(seq "$runs"); do
    plain+=("$(run_once "$wavsplice" task.txt)")
    measured+=("$(run_once "$wavsplice" --loudness task.txt)")
  done
  p=$(printf '%s\n' "${plain[@]}" | median)
  m=$(printf '%s\n' "${measured[@]}" | median)
  loudness_rows+=("| $scenario | ${format_label[$fmt]} | $(seconds_of "$p") | $(seconds_of "$m") | $(ratio_of "$m" "$p") |")
  rm -f out_*.wav
done

# Peak memory of a short and a long destination, against the empty program.
cd "$data/memshort_16"
empty_kib=$(median_peak_kib 5 "$empty")
short_kib=$(median_peak_kib 3 "$wavsplice" task.txt)
short_len=$(awk '/Length/ {print $2}' < <("$wavsplice" task.txt))
cd "$data/memlong_16"
long_kib=$(median_peak_kib 3 "$wavsplice" task.txt)
long_len=$(awk '/Length/ {print $2}' < <("$wavsplice" task.txt))
rm -f "$data"/mem*/out_*.wav "$data"/mem*/time.txt

# System calls of the 500-span job, wavsplice against the strict bound:
# all of them, the reads and writes among them (splice included: it is how
# wavsplice moves unchanged bytes), and the others per span.
syscall_rows=()
if command -v strace >/dev/null 2>&1; then
  cd "$data/many_16"
  for tool in strict wavsplice; do
    set_command "$tool"
    rm -f out_*.wav
    strace -f -c -o strace.txt "${tool_cmd[@]}" >/dev/null
    calls=$(awk '$NF == "total" {print $4}' strace.txt)
    moves=$(awk '$NF ~ /^(p?read(64|v)?|p?write(64|v)?|splice|copy_file_range)$/ {n += $4} END {print n + 0}' strace.txt)
    syscall_rows+=("| $tool | $calls | $moves | $(awk -v a="$calls" -v b="$moves" 'BEGIN {printf "%.1f", (a - b) / 500}') |")
  done
  rm -f out_*.wav strace.txt
fi
cd "$root"

echo "== microbenchmarks"
if [ "$tiny" = 1 ]; then
  micro=$("$build/bench/wavsplice_microbench" --benchmark_min_time=0.001 2>&1)
else
  micro=$("$build/bench/wavsplice_microbench" 2>&1)
fi
# The level and crossfade loops again with the portable loops forced.
micro_portable=$(WAVSPLICE_KERNELS=portable "$build/bench/wavsplice_microbench" \
  --benchmark_filter='BM_NewLevel|BM_Crossfade' $([ "$tiny" = 1 ] && echo --benchmark_min_time=0.001) 2>&1)

# --- report --------------------------------------------------------------
cpu=$(awk -F': *' '/^model name/ {print $2; exit}' /proc/cpuinfo)
mem=$(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo)
fs=$(findmnt -no FSTYPE --target "$data" 2>/dev/null || stat -f -c %T "$data")
command_line="bench/run.sh"
[ "$tiny" = 1 ] && command_line="bench/run.sh --tiny"
[ "$tiny" = 0 ] && [ "$runs" != 5 ] && command_line="bench/run.sh --runs $runs"
# The hand-written notes at the end of the report (from its "## Notes"
# heading on) stay as they are.
notes=""
if [ -f "$report" ]; then notes=$(sed -n '/^## Notes$/,$p' "$report"); fi
mkdir -p "$(dirname "$report")"
{
  echo "# Performance"
  echo
  echo "Produced by \`$command_line\` on $(date -u +%Y-%m-%d)."
  echo
  echo "Machine: $cpu, $(nproc) cores, $mem of memory, Linux $(uname -r), sources and"
  echo "destinations on $fs (in the page cache: every run is warm); load average before the"
  echo "run $load_before, after it $(cut -d' ' -f1-3 /proc/loadavg)."
  echo "Kernels: \`wavsplice\` rows run the processor's own ($kernels), \`portable\` rows the"
  echo "portable loops (\`WAVSPLICE_KERNELS=portable\`), the path of a processor without them; on"
  echo "a processor with AVX-512, \`avx2\` rows (\`WAVSPLICE_KERNELS=avx2\`) stand for one with AVX2 alone."
  echo "Tools: wavsplice $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '(no git)') built Release with $(g++ --version | head -1);"
  echo "$(sox --version 2>&1 | sed 's/^sox: *//'); $(ffmpeg -version | head -1 | cut -d' ' -f1-3)."
  echo
  echo "Inputs (\`bench_inputs\`, deterministic): two ${seconds}-second sources per format, tones"
  echo "plus noise at a moderate level. Scenarios, each for 16-bit stereo 44.1 kHz and 24-bit"
  echo "stereo 48 kHz (assemble also for 32-bit float, 6 channels (5.1), 48 kHz):"
  echo
  echo "- **assemble**: 20 spans of $(awk -v s="$seconds" 'BEGIN {print 30 * s / 600}') s alternating between the sources, every other one at -3 dB,"
  echo "  each after the first inserted to overlap its predecessor by 50 ms with \`xf 100 1\`;"
  echo "- **copy**: the same 20 spans at 0 dB without crossfades;"
  echo "- **many**: 500 appended spans of $(awk -v s="$seconds" 'BEGIN {print 1.2 * s / 600}') s alternating between the sources, every other one at -1.5 dB."
  echo
  echo "SoX: one inner \`sox … -p trim … vol …\` per span, joined by \`splice -q\` (assemble) or"
  echo "concatenation, dithering off (\`-D\`). FFmpeg: one input per span (\`-ss\` to its start),"
  echo "\`atrim\`, \`volume\` and \`acrossfade\` (assemble) or \`concat\` in one filter graph,"
  echo "\`pcm_s16le\`/\`pcm_s24le\`/\`pcm_f32le\` out. Bound: \`bench_bound\` reads each span's bytes once and writes"
  echo "each destination byte once, nothing else. Strict bound: \`bench_strict_bound\` also opens each"
  echo "distinct source once, reads each span straight into a 1 MiB destination buffer at its place"
  echo "and writes the destination in 1 MiB writes; where its median comes out above the plain"
  echo "bound's, the plain bound's stands in for it (the \`strict\` row shows the one taken). The"
  echo "exact command lines are in"
  echo "\`BUILD/bench-data/<scenario>_<bits>/\` after a run."
  echo
  echo "Median wall time of $((runs * 3)) timed runs ($runs for SoX and FFmpeg) after one warm run (the"
  echo "page cache synced and the old output removed before each; the tools take turns, run by run); peak"
  echo "resident memory from \`/usr/bin/time -v\` (for SoX the largest of its processes), the median of 3"
  echo "runs for wavsplice and the bounds, one run for SoX and FFmpeg."
  echo
  echo "| scenario | format | tool | wall (s) | peak RSS (MiB) | × bound | × strict bound |"
  echo "|---|---|---|---:|---:|---:|---:|"
  printf '%s\n' "${rows[@]}"
  echo
  echo "Targets: wavsplice within 1.2× of the strict bound with the processor's kernels (the plain"
  echo "copy at or below it) and within 1.5× with the portable loops; SoX and FFmpeg at least 5×"
  echo "wavsplice's time."
  echo
  echo "| scenario | format | wavsplice / bound | wavsplice / strict bound | avx2 / strict bound | portable / strict bound | SoX / wavsplice | FFmpeg / wavsplice |"
  echo "|---|---|---:|---:|---:|---:|---:|---:|"
  printf '%s\n' "${verdicts[@]}"
  echo
  echo "wavsplice scales a level change with double arithmetic value by value (on x86-64, 16- and"
  echo "24-bit integer and 32-bit float values in AVX-512 or AVX2 kernels, whichever the processor"
  echo "has, other formats and the portable loops built for AVX2 beside the baseline); the bounds do"
  echo "no arithmetic. Every kernel set wrote the same bytes in every job (checked with \`cmp\`)."
  echo
  echo "A run builds its destination under a temporary name beside it and renames it over the"
  echo "old file only when it succeeds. Its cost, median of $runs runs each, alternately to a"
  echo "new name and over the previous output (\`BM_StageAndCommit\` below times the creation"
  echo "and the rename alone):"
  echo
  echo "| scenario | format | new destination (s) | over the old one (s) | difference (s) |"
  echo "|---|---|---:|---:|---:|"
  printf '%s\n' "${replace_rows[@]}"
  echo
  echo "The rename itself is a few tens of microseconds. On ext4 (its default \`auto_da_alloc\`)"
  echo "a rename that replaces a file also starts writing the new file's data to disk, the file"
  echo "system's own protection of this pattern: the difference column shows that cost, which"
  echo "a new name (and tmpfs) does not pay."
  echo
  echo "Measuring the destination's loudness (\`--loudness\`) reads it once more after the render"
  echo "and runs it through libebur128 (K-weighting, gating, loudness range and a 4× oversampled"
  echo "true peak, one value at a time); median of $runs runs each, the processor's kernels:"
  echo
  echo "| scenario | format | render (s) | render and \`--loudness\` (s) | × render |"
  echo "|---|---|---:|---:|---:|"
  printf '%s\n' "${loudness_rows[@]}"
  echo
  echo "Peak memory of wavsplice appending whole sources (every other one at -1.5 dB): $(mib_of "$short_kib") MiB"
  echo "for a destination of $short_len samples, $(mib_of "$long_kib") MiB for $long_len samples (16-bit stereo"
  echo "44.1 kHz; in the full run one minute and one hour). The empty program (\`bench_empty\`: \`main\`"
  echo "returning 0, built and linked like wavsplice, with the same libraries) takes $(mib_of "$empty_kib") MiB"
  echo "(medians of 3 runs, of 5 for the empty program)."
  echo
  echo "| | MiB |"
  echo "|---|---:|"
  echo "| long − short destination | $(awk -v a="$long_kib" -v b="$short_kib" 'BEGIN {printf "%.2f", (a - b) / 1024}') |"
  echo "| largest wavsplice run above − empty program | $(printf '%s\n' "${wavsplice_kib[@]}" "$short_kib" "$long_kib" | sort -n | tail -1 | awk -v e="$empty_kib" '{printf "%.2f", ($1 - e) / 1024}') |"
  echo
  echo "Peak RSS counts the pages of shared libraries that a run touches, and the kernel maps"
  echo "64 KiB of a library around each page touched: most of wavsplice's margin over the empty"
  echo "program is code and tables of the C and C++ runtimes and of libm (\`sin\`, \`cos\`, \`pow\`),"
  echo "not data. Its own memory (heap and stack) is a level change's two 64 KiB chunks, under half a KiB per edit,"
  echo "crossfade blocks of 2048 values and the last crossfade's curve (16 bytes a frame, kept up"
  echo "to 8192 frames), the same for any length of destination."
  echo
  if [ "${#syscall_rows[@]}" -gt 0 ]; then
    echo "System calls of the 500-span 16-bit job (\`strace -f -c\`):"
    echo
    echo "| program | system calls | reads and writes | others per span |"
    echo "|---|---:|---:|---:|"
    printf '%s\n' "${syscall_rows[@]}"
    echo
  fi
  echo "## Microbenchmarks"
  echo
  echo '```'
  echo "$micro"
  echo '```'
  echo
  echo "The level and crossfade loops with \`WAVSPLICE_KERNELS=portable\`:"
  echo
  echo '```'
  echo "$micro_portable"
  echo '```'
  if [ -n "$notes" ]; then
    echo
    echo "$notes"
  fi
} >"$report"
echo "== wrote $report"
cat "$report"
