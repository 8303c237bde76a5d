// Failures injected into the posix backend's system-call table, for the
// fault tests in tests/internal. POSIX only.
//
// A test replaces entries of `sys` with functions that ask failNow() first;
// the plan says which of those calls fail and with which errno. The fixture
// puts the real calls back after each test and checks that no descriptor
// leaked.
#ifndef QORVEL_TESTS_SUPPORT_FAULTS_H
#define QORVEL_TESTS_SUPPORT_FAULTS_H

#include <gtest/gtest.h>

#include <cerrno>

#include "descriptors.h"
#include "platform/posix/syscalls.h"

namespace qtest::faults {

// `goodCalls` calls pass, then `failures` calls fail with `error`, then every
// call passes again. `calls` counts every call that asked.
struct Plan {
    int goodCalls = 0;
    int failures = 0;
    int error = 0;
    int calls = 0;
};
inline Plan gPlan;

inline void failAfter(int goodCalls, int error, int failures = 1) {
    gPlan = {goodCalls, failures, error, 0};
}
inline void failNever() { gPlan = {}; }

// Whether this call is to fail; sets errno when it is.
inline bool failNow() {
    ++gPlan.calls;
    if (gPlan.failures <= 0) return false;
    if (gPlan.goodCalls > 0) {
        --gPlan.goodCalls;
        return false;
    }
    --gPlan.failures;
    errno = gPlan.error;
    return true;
}

class SystemCallFaultTest : public ::testing::Test {
protected:
    int descriptorsBefore = 0;

    void SetUp() override {
        failNever();
        descriptorsBefore = openDescriptorCount();
    }
    void TearDown() override {
        qorvel::platform::posix::sys = qorvel::platform::posix::kDefaultSystemCalls;
        EXPECT_EQ(openDescriptorCount(), descriptorsBefore) << "a descriptor leaked";
    }
};

}  // namespace qtest::faults

#endif  // QORVEL_TESTS_SUPPORT_FAULTS_H
