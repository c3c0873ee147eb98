#!/usr/bin/env bash
# Builds wavsplice and its tests for another machine with Debian's cross
# compiler, runs every test under qemu-user, checks that the target renders
# the same bytes as this machine (ci/byte_identity.sh against the native
# build in build/), and for armhf and arm64 builds and checks the Debian
# package. Installs the target's libebur128-dev (Debian multiarch) when it
# is missing, which needs root. Prints the time of each step.
# Usage: ci/cross.sh armhf|arm64|s390x
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
  armhf) triple=arm-linux-gnueabihf ;;
  arm64) triple=aarch64-linux-gnu ;;
  s390x) triple=s390x-linux-gnu ;;
  *)
    echo "usage: ci/cross.sh armhf|arm64|s390x"
    exit 2
    ;;
esac
target=$1
build=build-$target
start=$SECONDS
step_start=$SECONDS
step() {
  echo "cross $target: $1 took $((SECONDS - step_start)) s"
  step_start=$SECONDS
}

# The target's own libebur128, from Debian's multiarch packages.
if ! dpkg -s "libebur128-dev:$target" >/dev/null 2>&1; then
  dpkg --add-architecture "$target"
  # A mirror caught mid-sync fails an index now and then: try again, and let
  # the install say whether the package was found.
  for attempt in 1 2 3; do
    apt-get update && break
    echo "apt-get update failed (attempt $attempt)"
    sleep 10
  done
  apt-get install -y --no-install-recommends "libebur128-dev:$target"
fi
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target wavsplice make_example_sources make_identity_jobs
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$triple.cmake"
cmake --build "$build"
step "build"
ctest --test-dir "$build" --output-on-failure
step "tests ($(ctest --test-dir "$build" -N | sed -n 's/^Total Tests: //p') under qemu)"
bash ci/byte_identity.sh build "$build"
step "byte identity"
if [ "$target" != s390x ]; then
  bash packaging/check_package.sh "$build"
  step "package"
fi
echo "cross $target: passed in $((SECONDS - start)) s"
