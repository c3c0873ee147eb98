#!/usr/bin/env bash
# Runs each fuzz target briefly from its seed corpus (about a minute in all)
# and fails on any finding. Builds nothing: BUILD_DIR must hold a build made
# with -DWAVSPLICE_FUZZ=ON.
#   fuzz/smoke.sh BUILD_DIR [SECONDS_PER_TARGET]
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [SECONDS_PER_TARGET]" >&2
  exit 2
fi
build="$(cd "$1" && pwd)"
seconds="${2:-20}"
here="$(cd "$(dirname "$0")" && pwd)"
corpus="$build/fuzz/corpus"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

status=0
for target in task_reader wav_attributes whole_run; do
  binary="$build/fuzz/${target}_fuzzer"
  if [ ! -x "$binary" ] || [ ! -d "$corpus/$target" ]; then
    echo "fuzz smoke: $binary or its seed corpus is missing" >&2
    exit 2
  fi
  case "$target" in
    task_reader) dict="$here/task.dict" ;;
    wav_attributes) dict="$here/wav.dict" ;;
    *) dict="$here/task.dict" ;;
  esac
  # A fresh copy of the seeds, so the smoke run never grows the seed corpus.
  mkdir -p "$work/$target" "$work/$target-artifacts"
  cp "$corpus/$target"/seed-* "$work/$target/"
  echo "== fuzz smoke: $target for ${seconds}s"
  if ! "$binary" "$work/$target" -dict="$dict" -max_total_time="$seconds" -max_len=16384 \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$work/$target-artifacts/" >"$work/$target.log" 2>&1; then
    status=1
    echo "fuzz smoke: $target found a fault:" >&2
    tail -n 60 "$work/$target.log" >&2
    for artifact in "$work/$target-artifacts"/*; do
      [ -e "$artifact" ] && { echo "input ($artifact):" >&2; od -c "$artifact" | head -n 40 >&2; }
    done
  else
    grep -E '^stat::number_of_executed_units' "$work/$target.log" || true
  fi
done
exit "$status"
