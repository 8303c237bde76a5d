#!/usr/bin/env bash
# Installs Debian packages as `apt-get update; apt-get install -y PACKAGE...`
# does, also where the package lists hold the security archive's index for
# the machine's own architecture but not for a second one (PACKAGE:i386).
# Run as root.
#
#   tools/debian-install.sh [--simulate] PACKAGE...
#
#   --simulate   no `apt-get update`, nothing installed: shows what would be,
#                against the package state apt is configured with (APT_CONFIG
#                may name another one, for instance an empty status file)
#
# Why: a library installed for two architectures ("Multi-Arch: same") must
# be at the same version in both. When `apt-get update` could not fetch the
# security archive's i386 index (it says "Failed to fetch
# .../binary-i386/Packages" and exits with 100), apt knows the security
# updates of such libraries for amd64 alone: their i386 twins exist only at
# the release's version, and `apt-get install` stops with "held broken
# packages". The script then installs exactly those libraries at the
# release's version for both architectures, and says which. It never takes
# back a security update already installed: where one has no twin, it stops
# and says so.
set -euo pipefail

simulate=
if [ "${1:-}" = --simulate ]; then
  simulate=yes
  shift
fi
[ $# -gt 0 ] || { echo "usage: tools/debian-install.sh [--simulate] PACKAGE..." >&2; exit 2; }
packages=("$@")
native=$(dpkg --print-architecture)
export DEBIAN_FRONTEND=noninteractive

say() { echo "-- debian-install: $*"; }

# apt_install ARGUMENTS...: installs, or shows the summary of what would be.
apt_install() {
  if [ -n "$simulate" ]; then
    local plan
    plan=$(apt-get -s install "$@" 2>&1) || {
      printf '%s\n' "$plan"
      return 1
    }
    grep -E '^[0-9]+ upgraded' <<<"$plan"
  else
    apt-get install -y "$@"
  fi
}

# policy PACKAGE...: "NAME INSTALLED CANDIDATE" for each, "-" for none.
policy() {
  apt-cache policy "$@" | awk '
    /^[^ ]/ { if (name != "") print name, installed, candidate
              name = $1; sub(/:$/, "", name); installed = "-"; candidate = "-" }
    $1 == "Installed:" && $2 != "(none)" { installed = $2 }
    $1 == "Candidate:" && $2 != "(none)" { candidate = $2 }
    END { if (name != "") print name, installed, candidate }'
}

# records NAME:ARCH=VERSION...: "NAME ARCH VERSION MULTI-ARCH" of those the
# lists hold.
records() {
  apt-cache show "$@" 2>/dev/null | awk '
    /^Package: / { name = $2; multi = "no" }
    /^Architecture: / { arch = $2 }
    /^Version: / { version = $2 }
    /^Multi-Arch: / { multi = $2 }
    /^$/ && name != "" { print name, arch, version, multi; name = "" }
    END { if (name != "") print name, arch, version, multi }' | sort -u
}

# The release's name (bookworm): the suite whose versions have twins.
release() {
  (. /etc/os-release && echo "$VERSION_CODENAME")
}

# missing_twins: "NAME ARCH VERSION INSTALLED CANDIDATE" for every library
# of a second architecture ("Multi-Arch: same") that the install needs,
# whose twin of the machine's architecture is installed or to be installed,
# and whose candidate there has no version for ARCH; VERSION is the
# release's, which both architectures have; INSTALLED and CANDIDATE are the
# twin's ("-" for none).
missing_twins() {
  local plan foreign name arch version candidate
  local -A installed=() candidates=() wanted=()
  plan=$(apt-get -s -t "$(release)" install "${packages[@]}") || {
    printf '%s\n' "$plan" >&2
    return 1
  }
  # "NAME ARCH VERSION" of every package the plan installs.
  local inst
  inst=$(printf '%s\n' "$plan" | awk -v native="$native" '$1 == "Inst" {
      version = ($3 ~ /^\[/) ? $4 : $3
      sub(/^\(/, "", version)
      name = $2; arch = native
      if (split($2, part, ":") == 2) { name = part[1]; arch = part[2] }
      print name, arch, version
    }')
  foreign=$(awk -v native="$native" '$2 != native' <<<"$inst")
  [ -n "$foreign" ] || return 0
  while read -r name arch version; do
    [ "$arch" = "$native" ] && wanted[$name]=yes
  done <<<"$inst"
  local names
  mapfile -t names < <(awk -v native="$native" '{print $1 ":" native}' <<<"$foreign")
  while read -r name version candidate; do
    installed[$name]=$version
    candidates[$name]=$candidate
  done < <(policy "${names[@]}")
  # The foreign versions that the candidates would need.
  local needed=() have
  while read -r name arch version; do
    candidate=${candidates[$name]:--}
    [ "$candidate" != - ] && [ "$candidate" != "$version" ] && needed+=("$name:$arch=$candidate")
  done <<<"$foreign"
  [ ${#needed[@]} -gt 0 ] || return 0
  have=$(records "${needed[@]}" | awk '{print $1 ":" $2}')
  mapfile -t names < <(awk '{print $1 ":" $2 "=" $3}' <<<"$foreign")
  while read -r name arch version multi; do
    [ "$multi" = same ] || continue
    candidate=${candidates[$name]:--}
    if [ "$candidate" = - ] || [ "$candidate" = "$version" ]; then continue; fi
    grep -qx "$name:$arch" <<<"$have" && continue
    [ "${installed[$name]:--}" != - ] || [ -n "${wanted[$name]:-}" ] || continue
    echo "$name $arch $version ${installed[$name]:--} $candidate"
  done < <(records "${names[@]}")
}

if [ -z "$simulate" ]; then
  if ! apt-get update; then
    say "apt-get update could not fetch every index (above); going on with the lists it has"
  fi
fi

# The plain install, when apt resolves it without removing anything.
if plan=$(apt-get -s install "${packages[@]}" 2>&1) && ! grep -q '^Remv ' <<<"$plan"; then
  apt_install --no-remove "${packages[@]}"
  exit 0
fi

if grep -q '^Remv ' <<<"$plan"; then
  say "apt-get install ${packages[*]} would remove $(awk '$1 == "Remv" { print $2 }' <<<"$plan" | paste -sd' ')"
else
  say "apt-get install ${packages[*]} does not resolve"
fi
say "looking for libraries whose twins are missing"
twins=$(missing_twins) || {
  say "it does not resolve with the release's versions either (above)"
  exit 1
}
if [ -z "$twins" ]; then
  apt-get -s install "${packages[@]}" || true
  say "no library lacks its twin: the install fails for another reason (above)"
  exit 1
fi

pinned=()
refused=
while read -r name arch version installed candidate; do
  if [ "$installed" != - ] && dpkg --compare-versions "$installed" gt "$version"; then
    say "$name:$native $installed is installed, but the lists hold no $name:$arch $installed"
    refused=yes
    continue
  fi
  say "$name: $native has $candidate (a security update), $arch only $version: both at $version"
  pinned+=("$name:$native=$version" "$name:$arch=$version")
done <<<"$twins"
if [ -n "$refused" ]; then
  say "a security update is installed whose twin the package lists lack: it is not taken back."
  say "Fetch the security archive's index for every architecture (apt-get update without errors), then run again."
  exit 1
fi

# Packages installed here that need one of those libraries at its exact
# version (libssl-dev beside libssl3) go to the release's version with it;
# anything the install would still remove stops it.
sources=$(apt-cache show "${pinned[@]}" 2>/dev/null | awk '
  /^Package: / { source = $2 } /^Source: / { source = $2 } /^$/ { print source }' | sort -u)
for _ in 1 2 3; do
  removed=$(apt-get -s install "${packages[@]}" "${pinned[@]}" 2>/dev/null | awk '$1 == "Remv" { print $2 }')
  [ -n "$removed" ] || break
  kept=0
  while read -r package; do
    source=$(apt-cache show "$package" 2>/dev/null | awk '/^Package: / { s = $2 } /^Source: / { s = $2 } END { print s }')
    grep -qx "$source" <<<"$sources" || continue
    read -r _ _ version < <(apt-cache -t "$(release)" policy "$package" | awk '
      /^[^ ]/ { name = $1 } $1 == "Candidate:" { print name, "-", $2 }')
    say "$package needs its library at the same version: it goes to $version with it"
    pinned+=("$package=$version")
    kept=$((kept + 1))
  done <<<"$removed"
  [ "$kept" -gt 0 ] || break
done
if [ -n "$removed" ]; then
  say "the install would remove $(paste -sd' ' <<<"$removed"): not done"
  exit 1
fi

say "these libraries stay at the release's version until apt-get update fetches the security archive's $(
  awk '{print $2}' <<<"$twins" | sort -u | paste -sd' '
) index; apt-get upgrade then updates each pair together"
manual=$(apt-mark showmanual)
apt_install --no-remove "${packages[@]}" "${pinned[@]}"
# Naming a package with its version marks it installed by hand: those that
# were not installed by hand before are marked automatic again.
if [ -z "$simulate" ]; then
  auto=()
  for package in "${pinned[@]%%=*}"; do
    grep -qx "$package\|${package%:"$native"}" <<<"$manual" || auto+=("$package")
  done
  [ ${#auto[@]} -eq 0 ] || apt-mark auto "${auto[@]}" >/dev/null
fi
