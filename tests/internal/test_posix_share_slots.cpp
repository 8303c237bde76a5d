// The slot search of the share modes, from every starting slot: a slot is
// recognised by where the lock in the way lies, never by its length.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>

#include "platform/posix/lock_space.h"
#include "platform/posix/share_modes.h"
#include "test_support.h"

using namespace qorvel::platform::posix;

namespace {

constexpr ShareRoles kReadWriteSharingWrite{true, true, true, false};  // 0x0014
constexpr ShareRoles kWriteSharingAll{false, false, true, false};      // 0x0042
constexpr ShareRoles kWriteSharingWrite{false, true, true, false};     // 0x0012

class ShareSlotTest : public ::testing::Test {
protected:
    qtest::TempDir dir;
    std::string file = dir.path("file.bin");
    void SetUp() override { qtest::writeFile(file, ""); }
    int openWritable() { return ::open(file.c_str(), O_RDWR | O_CLOEXEC); }
};

}  // namespace

// Beside a 0x0014 holder (a write lock over the read region and the first
// slot of the write region), a 0x0042 handle finds a free slot from every
// starting point, the holder's slot included; a 0x0012 handle, which denies
// reading, meets the holder's read region in every case.
TEST_F(ShareSlotTest, ACompatibleHandleFindsASlotFromEveryStart) {
    int holder = openWritable();
    ASSERT_EQ(publishShareMode(kReadWriteSharingWrite, holder, 0), 0u);
    for (unsigned first = 0; first < unsigned(kShareSlots); ++first) {
        int fd = openWritable();
        ASSERT_EQ(publishShareMode(kWriteSharingAll, fd, first), 0u) << first;
        EXPECT_EQ(publishShareMode(kWriteSharingWrite, fd, first), 0x20u) << first;
        ::close(fd);
    }
    ::close(holder);
}

// With every slot taken the answer is 36; two slot-takers never share a byte.
TEST_F(ShareSlotTest, EverySlotTakenIsTooManyShared) {
    struct rlimit limit;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max < rlim_t(kShareSlots) + 64) GTEST_SKIP() << "too few descriptors allowed";
    rlimit raised{limit.rlim_max, limit.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &raised), 0);
    int holder = openWritable();
    ASSERT_EQ(publishShareMode(kReadWriteSharingWrite, holder, 0), 0u);
    int fds[kShareSlots];
    for (off_t i = 1; i < kShareSlots; ++i) {
        fds[i] = openWritable();
        ASSERT_EQ(publishShareMode(kWriteSharingAll, fds[i], unsigned(i)), 0u) << i;
    }
    int last = openWritable();
    EXPECT_EQ(publishShareMode(kWriteSharingAll, last, 7), 36u);
    ::close(last);
    for (off_t i = 1; i < kShareSlots; ++i) ::close(fds[i]);
    ::close(holder);
    setrlimit(RLIMIT_NOFILE, &limit);
}
