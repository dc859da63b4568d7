// The main of every test program: the data directory the program's own
// start-up names ("./data/", before any dataPath), then every test.
#include "platform/platform.h"
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    setDataDirectory("./data/");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
