#!/usr/bin/env bash
# Installs qorvel from a build tree into a fresh temporary prefix, then builds
# and runs the example host against that installation exactly as the README
# says: the commands are taken from the README's blocks marked
# "<!-- recipe: NAME -->", with /opt/qorvel standing for the temporary prefix.
# Nothing from the build tree is used.
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
readme=$here/../README.md
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix"
readelf -d "$prefix/lib/libqorvel.so" | grep -q 'SONAME.*libqorvel\.so\.1\]' \
  || { echo "libqorvel.so has no SONAME libqorvel.so.1" >&2; exit 1; }

# The indented lines of the README block after "<!-- recipe: NAME -->".
recipe() {
  awk -v marker="<!-- recipe: $1 -->" '
    $0 == marker { found = 1; next }
    found && /^    / { print substr($0, 5); started = 1; next }
    found && started && !/^$/ { exit }
  ' "$readme"
}

# Runs one recipe in a fresh copy of the example, as a user would; the log
# goes to the temporary directory the library reports (TMPDIR is set to a
# folder of our own, so the run's records can be counted).
run_recipe() {
  local name=$1 commands
  commands=$(recipe "$name")
  [ -n "$commands" ] || { echo "README.md has no recipe '$name'" >&2; exit 1; }
  echo "-- README recipe '$name':"
  printf '%s\n' "$commands" | sed 's/^/   $ /'
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

echo "-- the installed program"
"$prefix/bin/qorvel" --version
"$prefix/bin/qorvel" cat "$work/logs/qorvel-example.log"
echo "the example host built and ran against the installation in $prefix, as the README says"
