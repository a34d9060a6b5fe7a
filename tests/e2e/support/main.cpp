// Entry point of the end-to-end drivers. Started with kHungOwnerArgument the
// program is the hung clipboard owner a test started, not a test run.
#include <gtest/gtest.h>

#include <cstring>

#include "driver.h"

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], e2e::kHungOwnerArgument) == 0) return e2e::runHungOwner(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
