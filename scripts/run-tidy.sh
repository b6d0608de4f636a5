#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over every translation unit of our own code in
# the build's compile_commands.json (src, tools, tests, bench, fuzz; not the moc files in build/)
# and exits non-zero on any finding. It needs only a configured build tree, not a built one.
#
#   scripts/run-tidy.sh                      # everything: about 25 CPU-minutes
#   scripts/run-tidy.sh src/imaging/ Album   # only the files whose path matches one of the regexes
#
# BUILD_DIR (default build) names the build tree, TIDY_JOBS (default 2) the parallel runs.
set -euo pipefail
cd "$(dirname "$0")/.."

root=$(pwd -P)
build=${BUILD_DIR:-build}
jobs=${TIDY_JOBS:-2}

if [ ! -f "$build/compile_commands.json" ]; then
  echo "run-tidy: $build/compile_commands.json is missing; configure first (cmake --preset release)" >&2
  exit 2
fi

# run-clang-tidy ORs its file regexes; the lookahead keeps every one of them inside our folders.
ours="^$root/(?=(?:src|tools|tests|bench|fuzz)/)"
if [ $# -eq 0 ]; then
  filter="$ours"
else
  filter="$ours.*(?:$(IFS='|'; echo "$*"))"
fi

# Each file's command line becomes one short progress line and clang's count of the warnings it
# hid in system headers goes; the findings pass through (in colour only on a terminal).
colour='s/\x1b\[[0-9;]*m//g'
[ -t 1 ] && colour=''
# The build's compiler is GCC and the vector kernels choose their instruction set with GCC's
# target pragmas, which clang (under clang-tidy) does not know; the build's -Werror would make
# that an error here.
gcc_only=(-extra-arg=-Wno-unknown-pragmas -extra-arg=-Wno-unknown-warning-option)
run-clang-tidy -quiet -j "$jobs" -p "$build" "${gcc_only[@]}" "$filter" 2>&1 \
  | sed -u -E -e "$colour" \
    -e "s#^clang-tidy(-[0-9]+)? .* $root/(\S+)\$#tidy: \2#" \
    -e '/^(\x1b\[[0-9;]*m)*[0-9]+ warnings? generated\.$/d'
