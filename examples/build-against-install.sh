#!/usr/bin/env bash
# Installs qorvel from a build tree into a fresh temporary prefix, then builds
# the example host against that installation twice, with find_package(qorvel)
# and with pkg-config, and runs both. Nothing from the build tree is used.
#   examples/build-against-install.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: build-against-install.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix"
readelf -d "$prefix/lib/libqorvel.so" | grep -q 'SONAME.*libqorvel\.so\.1\]' \
  || { echo "libqorvel.so has no SONAME libqorvel.so.1" >&2; exit 1; }

echo "-- find_package(qorvel)"
cmake -S "$here" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release
cmake --build "$work/cmake-build"
mkdir "$work/logs"
"$work/cmake-build/log_host" "$work/logs"

echo "-- pkg-config qorvel"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
libdir=$(pkg-config --variable=libdir qorvel)
cc -std=c99 -Wall -Wextra -Werror -o "$work/log_host_pc" "$here/log_host.c" \
  $(pkg-config --cflags qorvel) $(pkg-config --libs qorvel) -Wl,-rpath,"$libdir"
"$work/log_host_pc" "$work/logs"
lines=$(wc -l < "$work/logs/qorvel-example.log")
[ "$lines" -eq 2 ] || { echo "expected 2 records in the log, found $lines" >&2; exit 1; }

echo "-- the installed program"
"$prefix/bin/qorvel" cat "$work/logs/qorvel-example.log"
echo "the example host built and ran against the installation in $prefix"
