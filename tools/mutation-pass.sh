#!/usr/bin/env bash
# Mutation pass: plants one deliberate fault at a time in a copy of src/,
# rebuilds, runs the test suite (without the crash and thread stress labels,
# and without the cluster label, which needs root and real GlusterFS and Ceph
# volumes and takes minutes a run) and counts the faults the suite catches.
# Every fault must plant in REV's sources, or the pass fails before it builds.
# The checkout itself is never changed.
#
#   tools/mutation-pass.sh [REV] [WORKDIR]
#
# REV (default HEAD) is the commit whose sources and tests are copied;
# WORKDIR (default /tmp/qorvel-mutants-REV) holds the copy and its build.
# Run it for two commits whose sources hold the same planted texts to
# compare their suites: the faults are the same.
set -euo pipefail
cd "$(dirname "$0")/.."

rev=$(git rev-parse --short "${1:-HEAD}")
work=${2:-/tmp/qorvel-mutants-$rev}
tree=$work/tree
build=$work/build

# file | text replaced (exactly once) | replacement | what the fault breaks
# In the texts, \| stands for | and \n for a line break.
mutants=$(cat <<'EOF'
src/platform/posix/share_modes.cpp|{read, hasData && !(shareMode & kFileShareRead), write,|{read, hasData && !(shareMode & kFileShareWrite), write,|share modes: denying reading follows the write bit
src/platform/posix/share_modes.cpp|{{kReadLock, kC, kB}, {kLook, kA, kB}},|{{kReadLock, kC, kB}},|share modes: a read handle that denies reading publishes and never looks for readers
src/platform/posix/share_modes.cpp|{{kReadLock, kA, kB}, {kLook, kC, kA}},|{{kReadLock, kA, kB}},|share modes: a reader publishes and never looks for read handles that deny reading
src/platform/posix/share_modes.cpp|{{kReadLock, kC, kB}, {kLook, kA, kB}},|{{kLook, kA, kB}, {kReadLock, kC, kB}},|share modes: a read handle that denies reading looks before it publishes
src/platform/posix/share_modes.cpp|return handle ? win32error::kSharingViolation : win32error::kLockViolation;|return handle ? win32error::kAccessDenied : win32error::kLockViolation;|share modes: a conflict answers access denied
src/platform/posix/handles.cpp|if ((access.write \|\| empties) && !created && S_ISREG(file.mode) && isReadOnlyFile(file.mode)) {|if (false) {|read-only attribute ignored when writing
src/platform/posix/share_modes.cpp|return error == 0 \|\| fail(error);|return error == 0 \|\| true;|removal check: a held file is removed
src/platform/posix/share_modes.cpp|errno == ENOENT \|\| errno == ENOTDIR \|\| errno == ELOOP;|errno == ENOENT \|\| errno == ENOTDIR \|\| errno == ELOOP \|\| errno == EMFILE;|removal check: a look that cannot be made lets the removal through
src/platform/posix/locks.cpp|return start < heldEnd && held.start < end;|return start < heldEnd && held.start + 1 < end;|locks: overlap off by one
src/platform/posix/locks.cpp|    if (length < 2) return 0;|    return 0;|locks: a range never looks for other handles' zero-length locks inside it
src/platform/posix/locks.cpp|    uint32_t error = anyLockOver(fd, off_t(taken->start), 1);\n    if (error != 0 && marks)|    uint32_t error = 0;\n    if (error != 0 && marks)|locks: a zero-length lock inside another handle's lock
src/platform/posix/locks.cpp|return fail(isOpen(fd) ? win32error::kNotLocked : win32ErrorFromErrno(EBADF));|return true;|locks: unlocking what was never locked succeeds
src/platform/posix/locks.cpp|    uint32_t error = anyLockOver(fd, start, length);\n    if (error == 0 && setOfdLock(fd, F_RDLCK, kReadLockMarks + start, length) != 0) {\n        error = lockError(fd, errno);\n    }|    setOfdLock(fd, F_RDLCK, kReadLockMarks + start, length);\n    uint32_t error = anyLockOver(fd, start, length);\n    if (error != 0) setOfdLock(fd, F_UNLCK, kReadLockMarks + start, length);|locks: a read handle marks its lock before it looks
src/platform/posix/registry.cpp|    if (record_->holder.load(std::memory_order_relaxed) != me) {|    if (false) {|lock ownership: a child takes its parent's recorded locks for its own
src/platform/posix/registry.cpp|record->opener.load(std::memory_order_relaxed) == thisProcess();|record->opener.load(std::memory_order_relaxed) != 0;|lock ownership: a child counts an inherited handle as opened by itself
src/platform/posix/io.cpp|lockedByOthers(handle, SEEK_END, count)|lockedByOthers(handle, SEEK_CUR, count)|append: the lock check looks where the handle stands, not at the end
src/platform/posix/handles.cpp|if (appendOnly) access.flags \|= O_APPEND;|if (false) access.flags \|= O_APPEND;|append: an append-only handle writes where it stands
src/platform/posix/shared_file_system.cpp|uint32_t endAppend(int fd) { return sys.fsync(fd) == 0 ? 0 : win32ErrorFromErrno(errno); }|uint32_t endAppend(int) { return 0; }|shared file systems: an append lets the next appender write before its text reaches the server
src/platform/posix/shared_file_system.cpp|    sys.fadvise(fd, off_t(start), off_t(length), POSIX_FADV_DONTNEED);|    (void)start, (void)length;|shared file systems: a lock keeps the client's cached pages of its range
src/platform/posix/shared_file_system.cpp|if (!onSharedFileSystem(facts) \|\| !takeFacts(fd, kUnpushedWrites)) return 0;|if (true \|\| !onSharedFileSystem(facts) \|\| !takeFacts(fd, kUnpushedWrites)) return 0;|shared file systems: an unlock lets the range go before the handle's writes reach the server
src/platform/posix/shared_file_system.cpp|        setOfdLock(fd, F_UNLCK, 0, 0);  // length 0: to the end of the lock space|        (void)0;|shared file systems: a close leaves the description's locks to the client's late release
src/util/append.cpp|constexpr uint32_t kAppendSharing = platform::kFileShareRead \| platform::kFileShareWrite;|constexpr uint32_t kAppendSharing = platform::kFileShareRead;|append: appenders deny each other writing
src/status/status.cpp|{win32error::kSharingViolation, CFILE_ERR_SHARING},|{win32error::kSharingViolation, CFILE_ERR_GENERAL},|translation: sharing violation loses its code
src/platform/posix/errors.cpp|{ENOSPC, win32error::kDiskFull},|{ENOSPC, win32error::kIoDevice},|translation: a full disk reads as an I/O error
EOF
)

# Plants fault $1 (file|old|new) in $tree: fails when the text is not there
# exactly once.
plant() {
  local file=$1 old=$2 new=$3
  OLD=$old NEW=$new python3 - "$tree/$file" <<'PY'
import os, sys
path = sys.argv[1]
old, new = (os.environ[k].replace("\\n", "\n") for k in ("OLD", "NEW"))
text = open(path).read()
if text.count(old) != 1:
    sys.exit(1)
open(path, "w").write(text.replace(old, new))
PY
}

mapfile -t faults <<<"${mutants//\\|/$'\x01'}"
field() {
  IFS='|' read -r file old new what <<<"${faults[$1]}"
  old=${old//$'\x01'/|} new=${new//$'\x01'/|} what=${what//$'\x01'/|}
}

rm -rf "$tree"
mkdir -p "$tree" "$build"
git archive "$rev" | tar -x -C "$tree"

# Every fault must plant in these sources before anything is built.
for i in "${!faults[@]}"; do
  field "$i"
  cp "$tree/$file" "$work/original"
  if ! plant "$file" "$old" "$new"; then
    echo "M$((i + 1)) does not plant (the text is not in $file exactly once): $what" >&2
    exit 1
  fi
  cp "$work/original" "$tree/$file"
done

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQORVEL_BUILD_BENCH=OFF -DQORVEL_BUILD_TOOLS=OFF "${launcher[@]}" >/dev/null
suite() {
  nice cmake --build "$build" >"$work/build.log" 2>&1 || return 2
  (cd "$build" && nice ctest -LE 'crash|threads|cluster' --timeout 300 >"$work/ctest.log" 2>&1)
}

began=$SECONDS
suite || { echo "the unchanged sources fail their own suite: see $work/ctest.log"; exit 1; }
echo "rev $rev: $(grep -o '[0-9]*% tests passed.*' "$work/ctest.log" || true)"

caught=0 unbuilt=0
for i in "${!faults[@]}"; do
  field "$i"
  cp "$tree/$file" "$work/original"
  plant "$file" "$old" "$new"
  status=0
  suite || status=$?
  if [ "$status" = 0 ]; then
    echo "M$((i + 1)) survived: $what"
  elif [ "$status" = 2 ]; then
    unbuilt=$((unbuilt + 1))
    echo "M$((i + 1)) does not build (see $work/build.log): $what"
    cp "$work/build.log" "$work/build-M$((i + 1)).log"
  else
    caught=$((caught + 1))
    failed=$(grep -E '^\s+[0-9]+ - [A-Za-z0-9_]+' "$work/ctest.log" | awk '{print $3}' | paste -sd, || true)
    echo "M$((i + 1)) caught by $failed: $what"
  fi
  cp "$work/original" "$tree/$file"
done
echo "caught $caught of ${#faults[@]} planted faults in $(((SECONDS - began) / 60)) min"
# A fault that does not build tests nothing: the table needs mending.
[ "$unbuilt" = 0 ]
