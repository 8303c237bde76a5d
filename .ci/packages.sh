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
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${options[@]}" "${missing[@]}"
}
