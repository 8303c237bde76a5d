#!/bin/sh
# Runs a Windows program under Wine: CMake's cross-compiling emulator for the
# mingw-w64 builds, so CTest runs every test program through it.
#
#   wine-run.sh ARCH STATE_DIR PROGRAM [ARGUMENTS...]
#
# ARCH is win32 or win64. STATE_DIR (in the build tree) receives the Wine
# prefix, made on first use, and a home folder.
#
# Started as root, the program runs as the unprivileged user 65534: as root,
# Wine lets a read-only file be opened for writing, which Windows refuses to
# every user. The prefix, and with it the temporary folder the programs use
# (the prefix's own Temp folder), belong to that user.
set -eu

if [ $# -lt 3 ]; then
  echo "usage: $0 win32|win64 STATE_DIR PROGRAM [ARGUMENTS...]" >&2
  exit 2
fi
arch=$1
state=$2
shift 2

case $arch in
  win32) loader=/usr/lib/wine/wine; fallback=wine ;;
  win64) loader=/usr/lib/wine/wine64; fallback=wine64 ;;
  *) echo "$0: unknown Wine architecture '$arch'" >&2; exit 2 ;;
esac
if [ ! -x "$loader" ]; then
  loader=$(command -v "$fallback" || true)
fi
if [ -z "$loader" ]; then
  echo "$0: no Wine loader for $arch (install wine and wine32:i386 or wine64)" >&2
  exit 2
fi

# A 32-bit loader needs a kernel that runs 32-bit Linux programs; some
# virtual machines have none.
if ! "$loader" --version >/dev/null 2>&1; then
  echo "$0: $loader cannot run here: this machine does not execute $arch Wine" >&2
  exit 2
fi

prefix=$state/$arch
home=$state/home
unprivileged=65534

if [ "$(id -u)" = 0 ]; then
  owner=$unprivileged:$unprivileged
  # The build's own outputs are root's: the user must be able to read the
  # program and the DLLs beside it.
  program_dir=$(dirname "$1")
  chmod -f o+rx "$program_dir" 2>/dev/null || true
  chmod -f o+r "$program_dir"/*.exe "$program_dir"/*.dll 2>/dev/null || true
else
  owner=
fi

as_user() {
  if [ -n "$owner" ]; then
    setpriv --reuid=$unprivileged --regid=$unprivileged --clear-groups -- "$@"
  else
    "$@"
  fi
}

mkdir -p "$state"
chmod 755 "$state"
for folder in "$prefix" "$home"; do
  if [ ! -d "$folder" ]; then
    mkdir -p "$folder"
    chmod 700 "$folder"
    [ -z "$owner" ] || chown "$owner" "$folder"
  fi
done

export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all HOME="$home" WINELOADER="$loader"
unset DISPLAY WAYLAND_DISPLAY XDG_RUNTIME_DIR
# No Mono or Gecko: the test programs need neither, and their installers
# would ask for a download.
export WINEDLLOVERRIDES="mscoree=d;mshtml=d"

# The first start makes the prefix (about ten seconds); parallel tests wait
# for it instead of racing to make it twice.
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    as_user "$loader" wineboot --init >/dev/null 2>&1 || true
    if [ ! -f "$prefix/system.reg" ]; then
      as_user "$loader" wineboot --init >&2 || true
    fi
  fi
) 9>"$state/.$arch.lock"

if [ -n "$owner" ]; then
  exec setpriv --reuid=$unprivileged --regid=$unprivileged --clear-groups -- "$loader" "$@"
fi
exec "$loader" "$@"
