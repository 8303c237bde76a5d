#!/usr/bin/env bash
# CI: the Linux tests of build/ once more, while a busy loop runs on every
# core (`yes > /dev/null`), as on a machine that is doing other work: a test
# limit without margin fails here, not at random on a user's machine.
set -euo pipefail
cd "$(dirname "$0")/.."

loads=()
stop_loads() {
  if [ ${#loads[@]} -gt 0 ]; then
    kill "${loads[@]}" 2>/dev/null || true
    wait "${loads[@]}" 2>/dev/null || true
  fi
}
trap stop_loads EXIT
for _ in $(seq "$(nproc)"); do
  yes >/dev/null &
  loads+=($!)
done
echo "-- ${#loads[@]} busy loops (pids ${loads[*]}) beside the tests"
ctest --preset default
