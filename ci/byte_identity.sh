#!/usr/bin/env bash
# The same inputs must give the same bytes on every platform. Renders every
# job (the bundled example, every recipe, and the generated jobs of
# ci/identity_formats.txt) with a native build's wavsplice and with each
# other build's (a cross build runs under its emulator), and compares the
# SHA-256 of every file each job leaves: the destination, the sources, the
# report on standard output, standard error and the exit status of the
# render, and those of a --check run before it with its JSON and SVG plans.
# Any difference fails and names the job.
# Usage: ci/byte_identity.sh NATIVE_BUILD OTHER_BUILD...   (configured builds)
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: ci/byte_identity.sh NATIVE_BUILD OTHER_BUILD..."
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(cd "$1" && pwd)
shift
work=$(mktemp -d /tmp/wavsplice-identity-XXXXXX)
trap 'rm -rf "$work"' EXIT

if ! cmake --build "$native" --target wavsplice make_example_sources make_identity_jobs \
  >"$work/build.log" 2>&1; then
  cat "$work/build.log"
  echo "byte_identity: the native build failed"
  exit 1
fi

# The jobs, written once by the native tools: one folder each, holding its
# sources and its one task file (*.txt).
jobs=$work/jobs
"$native/make_identity_jobs" "$root/ci/identity_formats.txt" "$jobs" >/dev/null
for task in "$root/examples/task.txt" "$root"/examples/recipes/*.txt; do
  job=$jobs/example-$(basename "$task" .txt)
  mkdir -p "$job"
  "$native/make_example_sources" "$job" >/dev/null
  cp "$task" "$job/"
done

emulator_of() {
  sed -n 's/^CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=//p' "$1/CMakeCache.txt" | tr ';' ' '
}

# Renders every job in a copy of the jobs with the build's wavsplice and
# writes "JOB/FILE SHA-256" lines, sorted, to OUT.sums.
render() {
  local build=$1 out=$2 emulator job task status
  emulator=$(emulator_of "$build")
  cp -r "$jobs" "$out"
  for job in "$out"/*/; do
    task=$(cd "$job" && echo *.txt)
    status=0
    (cd "$job" && $emulator "$build/wavsplice" --check --json plan.json --timeline plan.svg \
      "$task" >check.out 2>check.err) || status=$?
    echo "$status" >"$job/check.status"
    status=0
    # shellcheck disable=SC2086 # the emulator's words
    (cd "$job" && $emulator "$build/wavsplice" "$task" >report.out 2>report.err) || status=$?
    echo "$status" >"$job/render.status"
  done
  (cd "$out" && find . -type f -printf '%P\n' | LC_ALL=C sort | xargs -d '\n' sha256sum |
    awk '{print $2, $1}') >"$out.sums"
}

render "$native" "$work/native"
job_count=$(find "$jobs" -mindepth 1 -maxdepth 1 -type d | wc -l)
if grep -L -x 0 "$work"/native/*/*.status | grep -q .; then
  echo "byte_identity: jobs that the native build does not check or render:"
  grep -L -x 0 "$work"/native/*/*.status | xargs -n1 dirname | xargs -n1 basename | sort -u
  exit 1
fi

failed=0
for build in "$@"; do
  build=$(cd "$build" && pwd)
  label=$(basename "$build")
  render "$build" "$work/$label"
  # Files whose hash differs, or that only one side left, by job.
  differing=$(LC_ALL=C join -a1 -a2 -e missing -o 0,1.2,2.2 "$work/native.sums" "$work/$label.sums" |
    awk '$2 != $3')
  if [ -n "$differing" ]; then
    failed=1
    while read -r path ours theirs; do
      echo "byte_identity: job ${path%%/*} differs on $label: ${path#*/} native $ours, $label $theirs"
    done <<<"$differing"
    echo "byte_identity: $(cut -d/ -f1 <<<"$differing" | sort -u | wc -l) of $job_count jobs differ on $label"
  else
    echo "byte_identity: $label gives the native bytes in all $job_count jobs" \
      "($(wc -l <"$work/$label.sums") files)"
  fi
done
exit "$failed"
