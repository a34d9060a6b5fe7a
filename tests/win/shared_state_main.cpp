// Entry point of the clipboard and hotkey tests. With HOLD_CLIPBOARD_ARG the
// program is the helper another test started, not a test run.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/win/clipboard_holder.h"

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], HOLD_CLIPBOARD_ARG) == 0)
        return holdClipboardUntilReleased(argv[2], argv[3]);
    if (argc == 5 && std::strcmp(argv[1], HANG_OWNER_ARG) == 0)
        return actAsHungOwner(argv[2], argv[3], argv[4]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
