# Sourced by the CI scripts: installs the Debian packages a step needs that
# the machine lacks, with one `apt-get update` when anything is missing.
#
#   install_missing [--no-install-recommends] PACKAGE...
install_missing() {
  local options=() missing=() package
  if [ "${1:-}" = --no-install-recommends ]; then
    options+=("$1")
    shift
  fi
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  # A mirror may lack an index of an enabled second architecture (i386 of
  # the security archive, see docs/windows.md): apt-get update then fails,
  # and the lists it did fetch still serve this install.
  apt-get update -q || echo "-- apt-get update could not fetch every index: installing with the lists it has"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${options[@]}" "${missing[@]}"
}
