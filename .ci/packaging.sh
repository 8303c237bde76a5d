#!/usr/bin/env bash
# CI: the packages a user installs.
#   .ci/packaging.sh linux     Debian packages and tarball: built, inspected
#                              (stripped binaries, -dbgsym packages, copyright,
#                              change log, compressed man page, one synopsis
#                              each, lintian without an error or a warning),
#                              installed with apt-get, the example host built
#                              against /usr (pkg-config and find_package) and
#                              run, the packages purged again
#   .ci/packaging.sh windows   the zips of the Windows build trees (a host
#                              of one's own is built against one and run by
#                              .ci/windows.sh, as docs/windows.md says)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
export DEBIAN_FRONTEND=noninteractive

source "$root/.ci/packages.sh"

fail() { echo "packaging: $*" >&2; exit 1; }
# grep that reads all its input: with pipefail, `grep -q` would stop early and
# fail the pipeline by the writer's broken pipe.
has() { grep "$@" >/dev/null; }

# The paths a package holds (a link without its " -> target").
deb_paths() { dpkg-deb -c "$1" | sed -E 's/ -> .*//' | awk '{print $NF}'; }
# deb_has DEB PATTERN: the package holds a path that matches.
deb_has() { deb_paths "$1" | has -E "$2" || fail "$(basename "$1") holds no $2"; }
deb_lacks() { ! deb_paths "$1" | has -E "$2" || fail "$(basename "$1") holds $2"; }
deb_field() { dpkg-deb -f "$1" "$2"; }

# What Debian users expect of a package: stripped binaries whose debug
# information is in the -dbgsym package, /usr/share/doc/<package>/copyright
# (machine-readable) and changelog.gz, a compressed man page, a synopsis of
# its own, and nothing lintian calls an error or a warning (the warnings kept
# are overridden, each with its reason, in cmake/debian/*.lintian-overrides).
debian_conventions() {
  local version=$1; shift
  local deb name dbgsym work synopses=""
  work=$(mktemp -d)
  for deb in "$@"; do
    name=$(deb_field "$deb" Package)
    deb_has "$deb" "/usr/share/doc/$name/copyright\$"
    deb_has "$deb" "/usr/share/doc/$name/changelog\\.gz\$"
    dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/share/doc/$name/copyright" \
      | sed -n 1p | has -x 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
      || fail "$name: the copyright file is not in the machine-readable format"
    synopses+="$(deb_field "$deb" Description | sed -n 1p)"$'\n'
    rm -rf "$work/root" && dpkg-deb -x "$deb" "$work/root"
    find "$work/root" -type f \( -name '*.so.*' -o -path '*/bin/*' \) -print0 | xargs -0 -r file \
      | grep ELF | grep -v ', stripped' && fail "$name holds unstripped binaries"
    if find "$work/root" -type f \( -name '*.so.*' -o -path '*/bin/*' \) | has .; then
      dbgsym=${deb%/*}/$name-dbgsym_${version}_$(deb_field "$deb" Architecture).ddeb
      [ -f "$dbgsym" ] || fail "$name has no debug symbols package $(basename "$dbgsym")"
      deb_has "$dbgsym" '/usr/lib/debug/\.build-id/.*\.debug$'
    fi
  done
  rm -rf "$work"
  [ "$(printf '%s' "$synopses" | sort -u | wc -l)" -eq $# ] || fail "the packages share a synopsis: $synopses"
  echo "-- lintian"
  lintian --fail-on error,warning --tag-display-limit 0 "$@" "${1%/*}"/*.ddeb \
    || fail "lintian found errors or warnings"
}

linux() {
  install_missing dpkg-dev file pkg-config doxygen groff man-db bash-completion lintian binutils
  local build=build-package version deb
  version=$(sed -n 's/^project(qorvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  rm -f "$build"/*.deb "$build"/*.ddeb "$build"/*.tar.gz
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DQORVEL_BUILD_TESTS=OFF -DQORVEL_BUILD_BENCH=OFF -DQORVEL_WERROR=ON
  cmake --build "$build" -j2
  (cd "$build" && cpack -G DEB && cpack -G TGZ)

  echo "-- the packages"
  local runtime dev program
  runtime=$(ls "$build"/libqorvel1_"$version"_*.deb)
  dev=$(ls "$build"/libqorvel-dev_"$version"_*.deb)
  program=$(ls "$build"/qorvel_"$version"_*.deb)
  for deb in "$runtime" "$dev" "$program"; do
    echo "$(basename "$deb"): Depends: $(deb_field "$deb" Depends)"
  done
  deb_has "$runtime" '/usr/lib/.*/libqorvel\.so\.1$'
  deb_has "$runtime" "/usr/lib/.*/libqorvel\\.so\\.$version\$"
  deb_lacks "$runtime" 'libqorvel\.so$|qorvel\.h$|/bin/qorvel$'
  dpkg-deb --ctrl-tarfile "$runtime" | tar -xO ./shlibs | has -x "libqorvel 1 libqorvel1 (>= $version)" \
    || fail "libqorvel1 has no shlibs entry for the SONAME libqorvel.so.1"
  deb_field "$runtime" Depends | has 'libc6' || fail "libqorvel1 does not depend on libc6"
  deb_has "$dev" '/usr/include/qorvel\.h$'
  deb_has "$dev" '/usr/lib/.*/libqorvel\.so$'
  deb_has "$dev" '/usr/lib/.*/pkgconfig/qorvel\.pc$'
  deb_has "$dev" '/usr/lib/.*/cmake/qorvel/qorvelConfig\.cmake$'
  deb_has "$dev" '/usr/share/doc/qorvel/html/index\.html$'
  deb_lacks "$dev" 'libqorvel\.so\.1'
  deb_field "$dev" Depends | has "libqorvel1 (= $version)" || fail "libqorvel-dev does not depend on libqorvel1 (= $version)"
  deb_has "$program" '/usr/bin/qorvel$'
  deb_has "$program" '/usr/share/man/man1/qorvel\.1\.gz$'
  deb_has "$program" '/usr/share/bash-completion/completions/qorvel$'
  deb_field "$program" Depends | has "libqorvel1 (= $version)" || fail "qorvel does not depend on libqorvel1 (= $version)"
  tar -tzf "$build/qorvel-$version-Linux.tar.gz" | has 'libqorvel\.so\.1$' || fail "the tarball holds no libqorvel.so.1"
  debian_conventions "$version" "$runtime" "$dev" "$program"

  echo "-- apt-get install ./*.deb ./*.ddeb"
  local packages="qorvel libqorvel-dev libqorvel1 qorvel-dbgsym libqorvel1-dbgsym"
  trap "apt-get purge -y -q $packages >/dev/null 2>&1 || true" EXIT
  (cd "$build" && apt-get install -y -q ./*.deb ./*.ddeb)
  local library id
  library=$(ls /usr/lib/*/libqorvel.so.1)
  id=$(readelf -n "$library" | sed -n 's/.*Build ID: \([0-9a-f]*\).*/\1/p')
  [ -f "/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug" ] \
    || fail "libqorvel1-dbgsym holds no debug file for build ID $id"
  dpkg --verify libqorvel1-dbgsym qorvel-dbgsym || fail "dpkg --verify of the -dbgsym packages"
  [ "$(qorvel --version)" = "qorvel $version" ] || fail "qorvel --version says '$(qorvel --version)'"
  local warnings
  warnings=$(man --warnings qorvel 2>&1 >/dev/null) || fail "man qorvel failed"
  [ -z "$warnings" ] || fail "man --warnings qorvel: $warnings"
  bash -c 'source /usr/share/bash-completion/bash_completion; _completion_loader qorvel; complete -p qorvel' \
    | has '_qorvel' || fail "bash-completion does not load the completion of qorvel"

  echo "-- the example host against /usr"
  local work
  work=$(mktemp -d)
  cp -r examples "$work/host"
  mkdir "$work/logs"
  (
    cd "$work/host"
    cc -std=c99 -Wall -Wextra -Werror -o log_host log_host.c $(pkg-config --cflags --libs qorvel)
    ./log_host "$work/logs"
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
    cmake --build build
    ./build/log_host "$work/logs"
    ldd ./log_host | has -E 'libqorvel\.so\.1 => (/usr)?/lib/' || fail "log_host does not load the installed libqorvel.so.1"
  )
  [ "$(wc -l < "$work/logs/qorvel-example.log")" -eq 2 ] || fail "expected 2 records from the example host"
  rm -rf "$work"

  echo "-- apt-get purge"
  apt-get purge -y -q $packages
  trap - EXIT
  local package
  for package in $packages; do
    # dpkg -s knows a removed package whose configuration is left (state rc).
    ! dpkg -s "$package" >/dev/null 2>&1 || fail "$package is still known to dpkg after purge"
  done
  [ ! -e /usr/include/qorvel.h ] || fail "/usr/include/qorvel.h is still there"
  echo "the packages install, serve a host both ways and remove cleanly"
}

windows() {
  install_missing unzip
  local dir triplet arch version zip made=()
  version=$(sed -n 's/^project(qorvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  for dir in build-windows build-windows64; do
    [ -f "$dir/CPackConfig.cmake" ] || continue
    (cd "$dir" && cpack -G ZIP)
    arch=win32; [ "$dir" = build-windows64 ] && arch=win64
    zip=$dir/qorvel-$version-$arch.zip
    for part in bin/qorvel.dll lib/libqorvel.dll.a lib/qorvel.def include/qorvel.h; do
      unzip -l "$zip" | has "qorvel-$version-$arch/$part\$" || fail "$zip holds no $part"
    done
    made+=("$arch")
  done
  [ ${#made[@]} -gt 0 ] || fail "no Windows build tree to package"

  echo "the Windows zips hold the DLL, its import library, the .def file and the header: ${made[*]}"
}

case ${1:-} in
  linux) linux ;;
  windows) windows ;;
  *) echo "usage: .ci/packaging.sh linux|windows" >&2; exit 2 ;;
esac
