#!/usr/bin/env bash
# The bash completion of qorvel offers the program's commands, each
# command's options, the mode names and file names.
#   completion.sh COMPLETION_SCRIPT PROGRAM
set -u
source "$1"
program=$2
failures=0

# complete WORDS...: the offers for the last word, sorted, on one line.
complete_words() {
    COMP_WORDS=("$program" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _qorvel
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

expect() {
    local want=$1; shift
    local got
    got=$(complete_words "$@")
    if [[ $got != "$want" ]]; then
        echo "completing '$*': expected '$want', got '$got'" >&2
        failures=$((failures + 1))
    fi
}

expect "lock log" lo
expect "open" op
expect "--version" --vers
expect "--crlf --help" append file.txt --
expect "--create --help --hold --mode --wait" open file.txt --
expect "--read-only" chmod --read-
expect "read read-write" open f --mode rea
expect "read,deny-all read,deny-none read,deny-read read,deny-write" open f --mode read,deny-
expect "stat status" help sta

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
touch "$scratch/alpha file.txt"
expect "$scratch/alpha file.txt" cat "$scratch/al"
expect "$scratch/alpha file.txt" holders "$scratch/al"
expect "--help --json" holders "$scratch/alpha file.txt" --
expect "check chmod" ch
expect "$scratch/alpha file.txt" check "$scratch/al"
expect "--help --json" check "$scratch/alpha file.txt" --

# Every command of the help is offered.
for command in $("$program" --help | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p'); do
    [[ " $(complete_words "") " == *" $command "* ]] || {
        echo "command $command is not offered" >&2
        failures=$((failures + 1))
    }
done

[[ $failures -eq 0 ]] && echo "bash completion: all offers as expected"
exit $((failures > 0))
