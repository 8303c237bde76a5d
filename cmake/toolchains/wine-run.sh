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
# (the prefix's own Temp folder), belong to that user. When that user cannot
# reach the build tree (a checkout under /root, say), the prefix and a copy of
# the program's folder live under /tmp instead.
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
  echo "$0: no Wine loader for $arch (install wine with wine32:i386, or wine64)" >&2
  exit 2
fi
# The 32-bit loader needs a kernel that runs 32-bit Linux programs; some
# virtual machines have none.
if ! "$loader" --version >/dev/null 2>&1; then
  echo "$0: $loader cannot run on this machine, so $arch programs cannot either" >&2
  exit 2
fi

unprivileged=65534
if [ "$(id -u)" = 0 ]; then
  as_user() { setpriv --reuid=$unprivileged --regid=$unprivileged --clear-groups -- "$@"; }
  owner=$unprivileged:$unprivileged
else
  as_user() { "$@"; }
  owner=
fi

mkdir -p "$state"
if [ -n "$owner" ] && ! as_user test -x "$state"; then
  state=/tmp/qorvel-wine-$(printf '%s' "$state" | cksum | cut -d' ' -f1)
  mkdir -p "$state"
fi
chmod 755 "$state"

prefix=$state/$arch
home=$state/home
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

program=$1
shift
program_dir=$(cd "$(dirname "$program")" && pwd)

# One at a time: the first start makes the prefix (about ten seconds), and
# parallel tests wait for it instead of racing to make it twice.
(
  flock 9
  if [ -n "$owner" ]; then
    # The build's own outputs are root's: the user must be able to read the
    # program and the DLLs beside it, or a copy of them.
    chmod -f o+rx "$program_dir" || true
    chmod -f o+r "$program_dir"/*.exe "$program_dir"/*.dll 2>/dev/null || true
    if ! as_user test -r "$program"; then
      mkdir -p "$state/bin"
      cp -u "$program_dir"/*.exe "$program_dir"/*.dll "$state/bin/" 2>/dev/null || true
      chmod -R o+rX "$state/bin"
    fi
  fi
  if [ ! -f "$prefix/system.reg" ]; then
    as_user "$loader" wineboot --init >/dev/null 2>&1 || true
  fi
) 9>"$state/.$arch.lock"

if [ -n "$owner" ] && ! as_user test -r "$program"; then
  program=$state/bin/$(basename "$program")
fi

# The Wine server of the prefix lives as long as any program in it, and the
# program that starts it hands it its standard output: CTest, which reads a
# test's output to its end, would then charge that test, and its limit, with
# every test that runs under Wine meanwhile. Started here on /dev/null, the
# server holds no test's output (with one running already, this start ends
# at once).
server=$(dirname "$loader")/wineserver
[ -x "$server" ] || server=$(command -v wineserver || true)
if [ -n "$server" ]; then
  as_user "$server" </dev/null >/dev/null 2>&1 || true
fi
if [ -n "$owner" ]; then
  exec setpriv --reuid=$unprivileged --regid=$unprivileged --clear-groups -- "$loader" "$program" "$@"
fi
exec "$loader" "$program" "$@"
