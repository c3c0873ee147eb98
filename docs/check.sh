#!/usr/bin/env bash
# Renders the manual page with every warning enabled and fails on any
# warning, so that what `man wavsplice` shows stays clean.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v groff >/dev/null 2>&1; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y groff-base
fi

page=docs/wavsplice.1
warnings=$(groff -ww -z -man "$page" 2>&1) || { echo "$warnings"; echo "docs/check.sh: groff failed on $page"; exit 1; }
if [ -n "$warnings" ]; then
  echo "$warnings"
  echo "docs/check.sh: $page renders with warnings"
  exit 1
fi
if command -v man >/dev/null 2>&1; then
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || true
  if [ -n "$warnings" ]; then
    echo "$warnings"
    echo "docs/check.sh: man reports warnings for $page"
    exit 1
  fi
fi
# Every section the page promises is there.
for section in NAME SYNOPSIS DESCRIPTION "TASK FILE" REPORT "EXIT STATUS" ENVIRONMENT FILES NOTES EXAMPLES "SEE ALSO"; do
  grep -qx "\.SH \"\?$section\"\?" "$page" || { echo "docs/check.sh: $page lacks section $section"; exit 1; }
done
echo "docs/check.sh: $page renders without warnings"
