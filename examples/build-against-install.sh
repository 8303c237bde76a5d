#!/usr/bin/env bash
# Installs qorvel from a build tree into a fresh temporary prefix, then builds
# and runs the example host against that installation exactly as
# docs/install.md says: the commands are taken from its blocks marked
# "<!-- recipe: NAME -->", with /opt/qorvel standing for the temporary prefix.
# The README's C sample is built and run against it too, and every relative
# link of the installed documentation must resolve. Nothing from the build
# tree is used.
#
#   examples/build-against-install.sh BUILD_DIR
#
# BUILD_DIR is a configured and built qorvel build tree (for instance build/,
# which the presets make).
set -euo pipefail
if [ $# -ne 1 ] || [ "$1" = --help ] || [ "$1" = -h ]; then
  echo "usage: examples/build-against-install.sh BUILD_DIR" >&2
  echo "  BUILD_DIR: a built qorvel build tree, for instance build/" >&2
  exit 2
fi
build=$1
if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "build-against-install.sh: $build is not a CMake build tree" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
doc=$here/../docs/install.md
source "$here/../.ci/recipes.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix"
readelf -d "$prefix/lib/libqorvel.so" | grep -q 'SONAME.*libqorvel\.so\.1\]' \
  || { echo "libqorvel.so has no SONAME libqorvel.so.1" >&2; exit 1; }

# Runs one recipe in a fresh copy of the example, as a user would; the log
# goes to the temporary directory the library reports (TMPDIR is set to a
# folder of our own, so the run's records can be counted).
run_recipe() {
  local name=$1 commands
  commands=$(recipe "$doc" "$name")
  show_recipe "$doc" "$name" "$commands"
  rm -rf "$work/host" && cp -r "$here" "$work/host"
  (cd "$work/host" && env -u PKG_CONFIG_PATH TMPDIR="$work/logs" \
     bash -euo pipefail -c "${commands//\/opt\/qorvel/$prefix}")
}

mkdir "$work/logs"
run_recipe find-package
run_recipe pkg-config-rpath
run_recipe pkg-config-ld-library-path
lines=$(wc -l < "$work/logs/qorvel-example.log")
[ "$lines" -eq 3 ] || { echo "expected 3 records in the log, found $lines" >&2; exit 1; }

echo "-- the README's C sample"
mkdir "$work/sample"
awk '/^<!-- sample: c -->$/ { found = 1; next }
     found && /^```c$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside { print }' "$here/../README.md" > "$work/sample/hello.c"
[ -s "$work/sample/hello.c" ] || { echo "README.md has no C sample" >&2; exit 1; }
(
  cd "$work/sample"
  export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
  cc -std=c99 -Wall -Wextra -pedantic -Werror -o hello hello.c $(pkg-config --cflags --libs qorvel) \
    -Wl,-rpath,"$(pkg-config --variable=libdir qorvel)"
  ./hello
  [ "$(cat hello.txt)" = hello ] || { echo "the C sample did not write hello.txt" >&2; exit 1; }
)

echo "-- the links of the installed documentation"
python3 "$here/../.ci/check-links.py" "$prefix/share/doc/qorvel"

echo "-- the installed program"
"$prefix/bin/qorvel" --version
"$prefix/bin/qorvel" cat "$work/logs/qorvel-example.log"
echo "the example host and the C sample built and ran against the installation in $prefix, as the documents say"
