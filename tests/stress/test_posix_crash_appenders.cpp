// Processes on one machine append to one file while this process kills them
// at random (append_stress.h).
#include "append_stress.h"

TEST(CrashStress, KilledAppendersLoseNoCompletedLineAndTearNone) {
    qtest::TempDir dir;
    qstress::runKilledAppenders({dir.path("log.txt")}, qstress::runTime(20),
                                std::chrono::microseconds(10000), {100, 10000});
}
