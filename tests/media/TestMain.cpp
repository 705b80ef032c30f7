// The suite's own main: the timer needs a QCoreApplication and its event loop.
#include "TestApplication.h"

#include <gtest/gtest.h>


int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    TTestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
