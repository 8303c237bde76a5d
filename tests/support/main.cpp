// main() of every test program: GoogleTest, or the helper process of
// qtest::Child when started with its flag.
#include <gtest/gtest.h>

#include <cstring>

#include "test_support.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], qtest::kChildFlag) == 0) return qtest::childMain();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
