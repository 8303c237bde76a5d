#!/usr/bin/env bash
# The two other ways docs/install.md offers to use qorvel, each with the
# example host:
#  - the static library: built, installed into a temporary prefix and used
#    through find_package and pkg-config, by the document's recipes word for
#    word (/opt/qorvel-static standing for the prefix); the host must not
#    need libqorvel.so;
#  - the sources embedded with add_subdirectory: qorvel's tests, benchmarks
#    and reference are not configured, and the host builds and runs.
#
#   examples/static-and-embedded.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/.." && pwd)
doc=$source/docs/install.md
source "$source/.ci/recipes.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "static-and-embedded.sh: $*" >&2; exit 1; }

# run_recipe NAME DIRECTORY: the recipe, run in DIRECTORY, with the
# temporary prefix and build folder in place of the document's.
run_recipe() {
  local commands
  commands=$(recipe "$doc" "$1")
  show_recipe "$doc" "$1" "$commands"
  commands=${commands//\/opt\/qorvel-static/$work/prefix}
  commands=${commands//build-static/$work/build-static}
  (cd "$2" && env -u PKG_CONFIG_PATH TMPDIR="$work/logs" bash -euo pipefail -c "$commands")
}

# A fresh copy of the example host.
host() {
  rm -rf "$work/host" && cp -r "$here" "$work/host"
}

mkdir "$work/logs"
run_recipe static-install "$source"
[ -f "$work/prefix/lib/libqorvel.a" ] || fail "no libqorvel.a installed"
! ls "$work/prefix/lib"/libqorvel.so* >/dev/null 2>&1 || fail "the static build installed a shared library"
host
run_recipe static-find-package "$work/host"
! ldd "$work/host/build/log_host" | grep -q libqorvel || fail "the find_package host loads libqorvel.so"
host
run_recipe static-pkg-config "$work/host"
! ldd "$work/host/log_host" | grep -q libqorvel || fail "the pkg-config host loads libqorvel.so"

echo "-- the sources embedded with add_subdirectory"
host
cat > "$work/host/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(embedding_host LANGUAGES C)
add_subdirectory($source qorvel)
add_executable(log_host log_host.c)
target_link_libraries(log_host PRIVATE qorvel::qorvel)
CMAKE
cmake -S "$work/host" -B "$work/host/build" -G Ninja >/dev/null
cache=$work/host/build/CMakeCache.txt
for option in QORVEL_BUILD_TESTS QORVEL_BUILD_BENCH QORVEL_BUILD_DOCS; do
  grep -qx "$option:BOOL=OFF" "$cache" || fail "$option is not OFF when qorvel is embedded"
done
! grep -q '^CMAKE_BUILD_TYPE:STRING=.' "$cache" || fail "the embedded qorvel set the host's build type"
[ ! -e "$work/host/build/CPackConfig.cmake" ] || fail "the embedded qorvel made the host's package configuration"
cmake --build "$work/host/build" --target log_host
TMPDIR=$work/logs "$work/host/build/log_host"

[ "$(wc -l < "$work/logs/qorvel-example.log")" -eq 3 ] || fail "expected 3 records from the hosts"
echo "the static library served a host both ways; the embedded sources built one without tests or benchmarks"
