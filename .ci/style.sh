#!/usr/bin/env bash
# The house style and the static checks.
#
#   .ci/style.sh           check: clang-format (no change needed) over every
#                          tracked C and C++ file, then clang-tidy over src/
#                          and tools/ with the compile database of build/
#   .ci/style.sh --fix     format every tracked C and C++ file in place
#   .ci/style.sh --format  only the formatting check
#   .ci/style.sh --tidy    only clang-tidy
#
# clang-format and clang-tidy come from Debian's clang-format and clang-tidy
# packages; the compile database from `cmake --preset default`.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-all}
mapfile -t sources < <(git ls-files '*.c' '*.cpp' '*.h')

if [ "$mode" = --fix ]; then
  clang-format -i "${sources[@]}"
  exit 0
fi

if [ "$mode" = all ] || [ "$mode" = --format ]; then
  echo "== clang-format: ${#sources[@]} files"
  clang-format --dry-run -Werror "${sources[@]}"
fi

if [ "$mode" = all ] || [ "$mode" = --tidy ]; then
  [ -f build/compile_commands.json ] || cmake --preset default >/dev/null
  # The compile database is the Linux build's: the win32 backend is not in it
  # (the mingw-w64 build compiles it with the same warnings, -Werror).
  mapfile -t checked < <(git ls-files 'src/*.cpp' 'tools/*.cpp' | grep -v '^src/platform/win32/')
  echo "== clang-tidy: ${#checked[@]} files"
  run-clang-tidy -quiet -p build -j "$(nproc)" "${checked[@]}"
fi
