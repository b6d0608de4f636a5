#!/usr/bin/env bash
# Cross-builds the project for arm64 into build-arm64 and runs the test suite under qemu-aarch64.
# The packages come from install-arm64-deps.sh (make test-arm64 runs it first). Extra arguments go
# to ctest, e.g. scripts/test-arm64.sh -R FrameEnhancer.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=build-arm64
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/aarch64-linux-gnu.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVUE_BUILD_BENCH=OFF >/dev/null
fi
start=$(date +%s)
cmake --build "$BUILD" -j"$(nproc)"
built=$(date +%s)
# Emulation is several times slower than the host: time limits in the tests stretch by this
# factor. Tests that start one of our programs as a child process cannot run under qemu-user (it
# emulates one process, and without a binfmt_misc entry an arm64 child fails with "Exec format
# error"): whole test programs of that kind carry the ctest label "child-process" and are left
# out here; single cases check LUMIVUE_EMULATED and skip themselves, saying why.
export LUMIVUE_TEST_TIME_SCALE=${LUMIVUE_TEST_TIME_SCALE:-10}
export LUMIVUE_EMULATED=qemu-aarch64
export QEMU_LD_PREFIX=/
# GStreamer reads its plugins in a helper process by default, which qemu-user cannot start either.
export GST_REGISTRY_FORK=no
echo "test-arm64: left out under qemu (label child-process: they run our programs as child processes):"
ctest --test-dir "$BUILD" -N -L child-process | grep 'Test *#' | sed 's/^ */  /'
ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)" --timeout 1800 -LE child-process "$@"
# qemu's default CPU has SVE, so the pixel kernels ran above on SVE and on NEON. The phones' Cortex-A53
# has NEON only: there the kernels must choose NEON, and give the same bytes.
echo "test-arm64: the pixel kernels on a NEON-only CPU (QEMU_CPU=cortex-a53):"
QEMU_CPU=cortex-a53 ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)" -R 'KernelTargets|Targets/.*/NEON$'
# SVE's vector length is the CPU's choice: the same bytes at the shortest (128 bits) and the longest.
for cpu in max,sve128=on max,sve2048=on,sve-default-vector-length=256; do
  echo "test-arm64: the pixel kernels on SVE, QEMU_CPU=$cpu:"
  QEMU_CPU=$cpu ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)" -R 'Targets/.*/SVE$' -E Exhaustive
done
done=$(date +%s)
echo "test-arm64: build $((built - start)) s, tests under qemu $((done - built)) s"
