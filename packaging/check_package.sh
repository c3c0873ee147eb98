#!/usr/bin/env bash
# Builds the Debian package with CPack, checks its control fields and
# contents, unpacks it into a temporary root with `dpkg -x` and renders the
# bundled example with the installed binary: the report and the destination
# must be those of the binary in the build folder. A cross build's package
# is for its target's architecture, and its binaries run under the build's
# emulator (qemu-user).
# Usage: packaging/check_package.sh BUILD_DIR   (a configured build folder)
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: packaging/check_package.sh BUILD_DIR"
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
[ -f "$build/CPackConfig.cmake" ] || { echo "check_package: $build is not a configured build folder"; exit 2; }

arch=$(sed -n 's/^set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$arch" ] || arch=$(dpkg --print-architecture)
emulator=$(sed -n 's/^CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=//p' "$build/CMakeCache.txt" | tr ';' ' ')
work=$(mktemp -d /tmp/wavsplice-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
  failed=$((failed + 1))
  echo "FAIL: $*"
}

if ! cmake --build "$build" --target wavsplice make_example_sources >"$work/build.log" 2>&1; then
  cat "$work/build.log"
  echo "check_package: the build failed"
  exit 1
fi
if ! (cd "$build" && cpack -G DEB -B "$work/pkg") >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "check_package: cpack -G DEB failed"
  exit 1
fi
debs=("$work"/pkg/*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || { echo "check_package: expected one .deb, got: ${debs[*]}"; exit 1; }
deb=${debs[0]}
echo "check_package: built $(basename "$deb")"
dpkg-deb --info "$deb"

field() { dpkg-deb -f "$deb" "$1"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$(field Package)" = wavsplice ] || fail "Package is '$(field Package)'"
[ -n "$version" ] && [ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the project's is '$version'"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[[ "$(field Description)" == *"PCM WAV"* ]] || fail "Description is '$(field Description)'"
depends=$(field Depends)
for lib in libc6 libebur128-1 libstdc++6; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends '$depends' lacks $lib"
done
[ "$(basename "$deb")" = "wavsplice_${version}_$arch.deb" ] ||
  fail "package file is named $(basename "$deb")"

contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for path in ./usr/bin/wavsplice ./usr/share/man/man1/wavsplice.1 \
  ./usr/share/doc/wavsplice/task-file.md ./usr/share/doc/wavsplice/crossfade-curves.svg; do
  grep -qx -- "$path" <<<"$contents" || fail "the package lacks $path"
done

dpkg -x "$deb" "$work/root"
installed=$work/root/usr/bin/wavsplice
[ -x "$installed" ] || { echo "check_package: no executable $installed"; exit 1; }
if command -v groff >/dev/null 2>&1; then
  warnings=$(groff -ww -z -man "$work/root/usr/share/man/man1/wavsplice.1" 2>&1) || true
  [ -z "$warnings" ] || fail "the installed manual page renders with warnings: $warnings"
fi

# The bundled example, rendered once by the installed binary and once by the
# build's, in separate folders.
for who in installed built; do
  mkdir -p "$work/$who"
  $emulator "$build/make_example_sources" "$work/$who"
  cp "$root/examples/task.txt" "$work/$who/task.txt"
done
status=0
(cd "$work/installed" && $emulator "$installed" task.txt) >"$work/installed.out" || status=$?
[ "$status" -eq 0 ] || fail "the installed wavsplice ended with status $status: $(cat "$work/installed.out")"
(cd "$work/built" && $emulator "$build/wavsplice" task.txt) >"$work/built.out" || true
expected_built=$'Built\tprogramme.wav\n\tLength 6.300 sec\n\tBits 16\n\tChannels 2\n\tSample rate 44100'
grep -qzF -- "$expected_built" "$work/installed.out" || fail "the installed binary's report lacks the Built block"
cmp -s "$work/installed.out" "$work/built.out" || fail "the installed binary reports otherwise than the built one"
cmp -s "$work/installed/programme.wav" "$work/built/programme.wav" ||
  fail "the installed binary writes another programme.wav than the built one"
[ "$(stat -c %s "$work/installed/programme.wav")" -eq $((44 + 277830 * 4)) ] ||
  fail "programme.wav has $(stat -c %s "$work/installed/programme.wav") bytes"

if [ "$failed" -ne 0 ]; then
  echo "check_package: $failed checks failed"
  exit 1
fi
echo "check_package: the package installs and renders the example"
