# shellcheck shell=bash
# Sourced by the scripts that run the documents' recipes word for word.
#
#   recipe FILE NAME   prints the commands of the block marked
#                      "<!-- recipe: NAME -->" in FILE: the indented lines that
#                      follow it, without their indentation; fails when FILE
#                      has no such block
recipe() {
  local commands
  commands=$(awk -v marker="<!-- recipe: $2 -->" '
    $0 == marker { found = 1; next }
    found && /^    / { print substr($0, 5); started = 1; next }
    found && started && !/^$/ { exit }
  ' "$1")
  if [ -z "$commands" ]; then
    echo "$1 has no recipe '$2'" >&2
    return 1
  fi
  printf '%s\n' "$commands"
}

# show_recipe FILE NAME COMMANDS: says which recipe runs, and its commands.
show_recipe() {
  echo "-- $(basename "$1") recipe '$2':"
  printf '%s\n' "$3" | sed 's/^/   $ /'
}
