#!/usr/bin/env bash
# CI: every line of the documents that installs packages from the Debian
# archive (`apt-get install ...`, `tools/debian-install.sh ...`; not the
# lines that install ./build-package files) resolves on a machine that has
# none of them: apt's simulation against an empty package state. A line
# that names packages of another architecture (wine32:i386) has it enabled
# first, as its document does. Fails when a line does not resolve.
#
#   .ci/install-lines.sh [FILE...]    default: README.md, CONTRIBUTING.md, docs/*.md
set -euo pipefail
cd "$(dirname "$0")/.."

files=("$@")
[ ${#files[@]} -gt 0 ] || files=(README.md CONTRIBUTING.md docs/*.md)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: >"$work/status"
# apt as configured, but with nothing installed.
{
  if [ -f /etc/apt/apt.conf ]; then echo '#include "/etc/apt/apt.conf";'; fi
  echo "Dir::State::status \"$work/status\";"
} >"$work/apt.conf"

# packages LINE: the packages a command line names (options, `sudo` and a
# trailing comment left out).
packages() {
  local word found=
  for word in $(sed 's/#.*//' <<<"$1"); do
    if [ -n "$found" ]; then
      case $word in -*) ;; *) echo "$word" ;; esac
    elif [ "$word" = install ] || [ "${word##*/}" = debian-install.sh ]; then
      found=yes
    fi
  done
}

# enable_architectures PACKAGE...: the architectures the packages name.
enable_architectures() {
  local arch added=
  for arch in $(printf '%s\n' "$@" | sed -n 's/^[^:]*:\([a-z0-9]*\)$/\1/p' | sort -u); do
    if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
      echo "-- enabling the architecture $arch, as the document does"
      dpkg --add-architecture "$arch"
      added=yes
    fi
  done
  if [ -n "$added" ]; then
    apt-get update -q || echo "-- apt-get update could not fetch every index: resolving with the lists it has"
  fi
}

failed=0
checked=0
while IFS=: read -r file number line; do
  mapfile -t names < <(packages "$line")
  if [ ${#names[@]} -eq 0 ] || printf '%s\n' "${names[@]}" | grep -q '^\./\|\.deb$\|\.ddeb$'; then
    continue
  fi
  checked=$((checked + 1))
  echo "== $file:$number:${line}"
  enable_architectures "${names[@]}"
  if grep -q 'debian-install\.sh' <<<"$line"; then
    APT_CONFIG=$work/apt.conf tools/debian-install.sh --simulate "${names[@]}" >"$work/out" 2>&1 && ok=yes || ok=
  else
    APT_CONFIG=$work/apt.conf apt-get -s install "${names[@]}" >"$work/out" 2>&1 && ok=yes || ok=
  fi
  if [ -n "$ok" ]; then
    grep -E '^-- |^[0-9]+ upgraded' "$work/out"
  else
    cat "$work/out"
    echo "-- $file:$number does not resolve on a machine without its packages"
    failed=$((failed + 1))
  fi
done < <(grep -n -E '^    .*(apt-get install|debian-install\.sh) ' "${files[@]}" /dev/null)

echo "-- $checked install lines, $failed not resolving"
[ "$checked" -gt 0 ] && [ "$failed" -eq 0 ]
