#!/usr/bin/env bash
# CI: the documentation tools, then the HTML reference of qorvel.h built on
# its own (Doxygen, every warning an error: an undocumented export fails
# here), the man page checked by man itself, every relative link of the
# documents and of the built reference resolved, and the picture of the
# share-mode grid rendered again from its matrix. Run before the builds, so
# that they build the reference too and test the man page and completion.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive

source .ci/packages.sh
install_missing doxygen groff man-db bash-completion python3 gnuplot-nox

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
# docs/reference.md is Doxygen's source: its links hold where it is built, in html/.
documents=(README.md CONTRIBUTING.md)
for document in docs/*.md; do
  [ "$document" = docs/reference.md ] || documents+=("$document")
done
python3 .ci/check-links.py "${documents[@]}"
python3 .ci/check-links.py build-docs/docs

# The picture is gnuplot's rendering of the committed matrix, nothing else
# (test_share_grid holds the matrix to the library's answers).
picture=$(mktemp -d)
cp docs/share-modes.gp docs/share-modes.dat "$picture"
(cd "$picture" && gnuplot share-modes.gp)
if ! cmp -s "$picture/share-modes.svg" docs/share-modes.svg; then
  echo "docs/share-modes.svg is not gnuplot's rendering of docs/share-modes.dat;" >&2
  echo "cmake --build build --target share-grid renders it again" >&2
  exit 1
fi
rm -rf "$picture"
echo "the reference builds without a warning; the man page formats cleanly; every link resolves; the grid's picture is its matrix"
