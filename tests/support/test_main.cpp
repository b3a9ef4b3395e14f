// The main of every test program: its tests run in the process's own folder (test_folder.h).
#include "tests/support/test_folder.h"

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    test_folder_enter();
    testing::InitGoogleTest(&argc, argv);
    int status = RUN_ALL_TESTS();
    test_folder_leave();
    return status;
}
