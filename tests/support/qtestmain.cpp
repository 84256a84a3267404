// Test entry for the Qt layer: one QApplication on the offscreen platform for the
// whole run, so widgets can be created without a display.
#include "acquire/sanescan.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // SANE's device list is read on a thread of its own from the first window on; the
    // libraries' exit handlers must not run under it (the program ends without them then).
    if (quillon::TSaneDeviceList::Process().Listing())
        quillon::TSaneDeviceList::Process().Wait();
    return result;
}
