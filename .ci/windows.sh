#!/usr/bin/env bash
# CI: the Windows how-to of docs/windows.md, run as it is written: each step
# is a block of the document marked "<!-- recipe: NAME -->", run from the top
# of the source tree with a home folder of its own (the document's Wine
# prefixes live there), so nothing is left in the real one.
#
#   .ci/windows.sh [STEP...]
#
# Steps, in this order by default: install (only when one of its packages is
# missing), wine (the two loaders asked; decides the 32-bit step), windows32,
# windows64, run (a program by hand in a prefix of its own), host (a host of
# one's own built against the zip).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
doc=docs/windows.md
source .ci/recipes.sh

home=$(mktemp -d)
# A Wine server outlives its last program by a few seconds and then saves
# the prefix: it is waited for before the prefixes go.
cleanup() {
  local prefix
  for prefix in "$home"/.wine*; do
    if [ -d "$prefix" ]; then
      WINEPREFIX=$prefix /usr/lib/wine/wineserver -w || true
    fi
  done
  rm -rf "$home"
}
trap cleanup EXIT

# run_step NAME [DIRECTORY]: the recipe NAME, run in DIRECTORY (default: the
# top of the source tree).
run_step() {
  local commands
  commands=$(recipe "$doc" "$1")
  show_recipe "$doc" "$1" "$commands"
  (cd "${2:-$root}" && HOME=$home bash -euo pipefail -c "$commands")
}

step_install() {
  local commands packages package
  commands=$(recipe "$doc" windows-install)
  packages=$(printf '%s\n' "$commands" | sed -n 's|^tools/debian-install.sh ||p')
  for package in $packages; do
    if ! dpkg -s "$package" >/dev/null 2>&1; then
      DEBIAN_FRONTEND=noninteractive run_step windows-install
      return
    fi
  done
  echo "-- $doc recipe 'windows-install': every package is installed already"
}

# The 32-bit step the kernel allows: the check's second command asks the
# 32-bit loader.
runs_32_bit=
step_wine() {
  local commands
  commands=$(recipe "$doc" windows-wine-check)
  show_recipe "$doc" windows-wine-check "$commands"
  bash -c "$(printf '%s\n' "$commands" | sed -n 1p)"
  if bash -c "$(printf '%s\n' "$commands" | sed -n 2p)"; then
    runs_32_bit=yes
  else
    runs_32_bit=no
    echo "-- this kernel does not run 32-bit programs: the 32-bit DLL is built and its exports checked"
  fi
}

step_windows32() {
  [ -n "$runs_32_bit" ] || step_wine
  if [ "$runs_32_bit" = yes ]; then
    run_step windows32
  else
    run_step windows32-without-32-bit-programs
  fi
}

# The host recipe unpacks the zip and builds beside it: in a folder of its
# own that sees the build tree and the example.
step_host() {
  local work
  work=$(mktemp -d)
  ln -s "$root/build-windows64" "$work/build-windows64"
  ln -s "$root/examples" "$work/examples"
  run_step windows-host "$work" | tee "$work/output.txt"
  grep '/E=example' "$work/output.txt" >/dev/null || { echo "windows.sh: the host wrote no record" >&2; exit 1; }
  rm -rf "$work"
}

steps=("$@")
[ ${#steps[@]} -gt 0 ] || steps=(install wine windows32 windows64 run host)
for step in "${steps[@]}"; do
  case $step in
    install | wine | windows32 | host) "step_$step" ;;
    windows64) run_step windows64 ;;
    run) run_step windows-run ;;
    *) echo "usage: .ci/windows.sh [install|wine|windows32|windows64|run|host]..." >&2; exit 2 ;;
  esac
done
echo "the Windows how-to ran as written: ${steps[*]}"
