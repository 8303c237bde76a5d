# Sourced by the CI scripts: `step TITLE` ends the step before it, printing
# its time, and begins the next. When the script ends, however it ends, its
# last step ends too and every step's time is listed with the total, so that
# a slow step shows which it is.
step_times=()
step_title=
step_start=$SECONDS

step() {
  step_end
  echo "== $1"
  step_title=$1
  step_start=$SECONDS
}

step_end() {
  [ -n "$step_title" ] || return 0
  local took=$((SECONDS - step_start))
  echo "== ($took s) $step_title"
  step_times+=("$(printf '%6d s  %s' "$took" "$step_title")")
  step_title=
}

step_summary() {
  step_end
  [ ${#step_times[@]} -gt 0 ] || return 0
  echo "== Step times of $(basename "$0"): $SECONDS s in all"
  printf '%s\n' "${step_times[@]}"
}
trap step_summary EXIT
