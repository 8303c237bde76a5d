#!/usr/bin/env bash
# CI: the documentation tools, then the HTML reference of qorvel.h built on
# its own (Doxygen, every warning an error: an undocumented export fails
# here) and the man page checked by man itself. Run before the builds, so
# that they build the reference too and test the man page and completion.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive

source .ci/packages.sh
install_missing doxygen groff man-db bash-completion

cmake -S . -B build-docs -DQORVEL_BUILD_TESTS=OFF -DQORVEL_BUILD_BENCH=OFF \
  -DQORVEL_BUILD_TOOLS=OFF -DQORVEL_BUILD_DOCS=ON >/dev/null
cmake --build build-docs --target docs
test -f build-docs/docs/html/index.html

warnings=$(LC_ALL=C.UTF-8 man --warnings -l docs/qorvel.1 2>&1 >/dev/null)
if [ -n "$warnings" ]; then
  echo "man --warnings docs/qorvel.1:" >&2
  echo "$warnings" >&2
  exit 1
fi
echo "the reference builds without a warning; the man page formats cleanly"
