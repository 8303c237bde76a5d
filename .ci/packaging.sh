#!/usr/bin/env bash
# CI: the packages a user installs.
#   .ci/packaging.sh linux     Debian packages and tarball: built, inspected,
#                              installed with apt-get, the example host built
#                              against /usr (pkg-config and find_package) and
#                              run, the packages removed again
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

linux() {
  install_missing dpkg-dev file pkg-config doxygen groff man-db bash-completion
  local build=build-package version deb
  version=$(sed -n 's/^project(qorvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  rm -f "$build"/*.deb "$build"/*.tar.gz
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
  deb_has "$program" '/usr/share/man/man1/qorvel\.1'
  deb_has "$program" '/usr/share/bash-completion/completions/qorvel$'
  deb_field "$program" Depends | has "libqorvel1 (= $version)" || fail "qorvel does not depend on libqorvel1 (= $version)"
  tar -tzf "$build/qorvel-$version-Linux.tar.gz" | has 'libqorvel\.so\.1$' || fail "the tarball holds no libqorvel.so.1"

  echo "-- apt-get install ./*.deb"
  trap 'apt-get purge -y -q qorvel libqorvel-dev libqorvel1 >/dev/null 2>&1 || true' EXIT
  (cd "$build" && apt-get install -y -q ./*.deb)
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
  apt-get purge -y -q qorvel libqorvel-dev libqorvel1
  trap - EXIT
  ! dpkg -s libqorvel1 >/dev/null 2>&1 || fail "libqorvel1 is still installed"
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
