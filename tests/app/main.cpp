// Test entry: the program's own application object (with its exception handler) on
// the offscreen platform, and the silent audio output so no device is touched.
#include "Application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QERIMOLRC_AUDIO", "null");
    TQerimoApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
