#!/usr/bin/env bash
# Mutation pass: plants one deliberate fault at a time in a copy of src/,
# rebuilds, runs the test suite (without the crash and thread stress labels)
# and counts the faults the suite catches. The checkout itself is never
# changed.
#
#   tools/mutation-pass.sh [REV] [WORKDIR]
#
# REV (default HEAD) is the commit whose sources and tests are copied;
# WORKDIR (default /tmp/qorvel-mutants-REV) holds the copy and its build.
# Run it for two commits to compare their suites: the faults are the same.
set -euo pipefail
cd "$(dirname "$0")/.."

rev=$(git rev-parse --short "${1:-HEAD}")
work=${2:-/tmp/qorvel-mutants-$rev}
tree=$work/tree
build=$work/build

# file | text replaced (exactly once) | replacement | what the fault breaks
mutants=$(cat <<'EOF'
src/platform/posix/handles.cpp|hasData && !(shareMode & kFileShareRead),|hasData && !(shareMode & kFileShareWrite),|share modes: denying reading follows the write bit
src/platform/posix/handles.cpp|if (holder.l_type != F_UNLCK) return fail(win32error::kSharingViolation);|if (false) return fail(win32error::kSharingViolation);|share modes: a reader that cannot publish never meets a holder
src/platform/posix/handles.cpp|if (isOfdLockConflict(error)) return fail(win32error::kSharingViolation);|if (isOfdLockConflict(error)) return fail(win32error::kAccessDenied);|share modes: a conflict answers access denied
src/platform/posix/handles.cpp|if (readOnly) return fail(win32error::kAccessDenied);|if (false) return fail(win32error::kAccessDenied);|read-only attribute ignored when writing
src/platform/posix/handles.cpp|return holder.l_type == F_UNLCK \|\| fail(win32error::kSharingViolation);|return true;|removal check: a held file is removed
src/platform/posix/handles.cpp|errno == EACCES \|\| errno == EPERM;|errno == EACCES \|\| errno == EPERM \|\| errno == EMFILE;|removal check: a look that cannot be made lets the removal through
src/platform/posix/handles.cpp|if (appendOnly) access.flags \|= O_APPEND;|if (false) access.flags \|= O_APPEND;|append: an append-only handle writes where it stands
src/platform/posix/locks.cpp|return start < heldEnd && held.start < end;|return start < heldEnd && held.start + 1 < end;|locks: overlap off by one
src/platform/posix/locks.cpp|return start < kLockableEnd && length <= kLockableEnd - start;|return true;|locks: ranges past the lockable end accepted
src/platform/posix/locks.cpp|if (covered) return fail(win32error::kLockViolation);|if (false) return fail(win32error::kLockViolation);|locks: a zero-length lock inside another handle's lock
src/platform/posix/locks.cpp|return isOpen(fd) ? fail(win32error::kNotLocked) : failWithErrno(EBADF);|return true;|locks: unlocking what was never locked succeeds
src/platform/posix/io.cpp|bool asked = atEnd ? lockedAtEnd(fd, count, &locked) : lockedAtPosition(fd, count, &locked);|bool asked = lockedAtPosition(fd, count, &locked);|append: the lock check looks where the handle stands, not at the end
src/util/append.cpp|constexpr uint32_t kAppendSharing = platform::kFileShareRead \| platform::kFileShareWrite;|constexpr uint32_t kAppendSharing = platform::kFileShareRead;|append: appenders deny each other writing
src/status/status.cpp|{win32error::kSharingViolation, CFILE_ERR_SHARING},|{win32error::kSharingViolation, CFILE_ERR_GENERAL},|translation: sharing violation loses its code
src/status/status.cpp|{win32error::kEaTableFull, CFILE_ERR_DISK_FULL},|{win32error::kEaTableFull, CFILE_ERR_GENERAL},|translation: a rare disk-full number loses its code
src/platform/posix/errors.cpp|{ENOSPC, win32error::kDiskFull},|{ENOSPC, win32error::kIoDevice},|translation: a full disk reads as an I/O error
src/platform/posix/errors.cpp|{EDQUOT, win32error::kDiskFull},|{EDQUOT, win32error::kIoDevice},|translation: a full quota reads as an I/O error
src/platform/posix/errors.cpp|return length >= 261 ?|return length >= 262 ?|translation: the 261-byte path limit off by one
EOF
)

rm -rf "$tree"
mkdir -p "$tree" "$build"
git archive "$rev" | tar -x -C "$tree"
cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQORVEL_BUILD_BENCH=OFF -DQORVEL_BUILD_TOOLS=OFF >/dev/null
suite() {
  nice cmake --build "$build" >"$work/build.log" 2>&1 || return 2
  (cd "$build" && nice ctest -LE 'crash|threads' --timeout 300 >"$work/ctest.log" 2>&1)
}

suite || { echo "the unchanged sources fail their own suite: see $work/ctest.log"; exit 1; }
echo "rev $rev: $(grep -o '[0-9]*% tests passed.*' "$work/ctest.log" || true)"

caught=0 total=0
while IFS='|' read -r file old new what; do
  old=${old//$'\x01'/|} new=${new//$'\x01'/|}
  total=$((total + 1))
  cp "$tree/$file" "$work/original"
  if ! OLD=$old NEW=$new python3 - "$tree/$file" <<'EOF'; then
import os, sys
path = sys.argv[1]
text = open(path).read()
if text.count(os.environ["OLD"]) != 1:
    sys.exit(1)
open(path, "w").write(text.replace(os.environ["OLD"], os.environ["NEW"]))
EOF
    echo "M$total not planted (the text is not there once): $what"
    continue
  fi
  if suite; then
    echo "M$total survived: $what"
  else
    caught=$((caught + 1))
    failed=$(grep -E '^\s+[0-9]+ - [A-Za-z0-9_]+' "$work/ctest.log" | awk '{print $3}' | paste -sd, || true)
    echo "M$total caught by ${failed:-the build}: $what"
  fi
  cp "$work/original" "$tree/$file"
done <<<"${mutants//\\|/$'\x01'}"
echo "caught $caught of $total planted faults"
