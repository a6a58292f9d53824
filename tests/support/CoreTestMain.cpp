// GoogleTest main with a QCoreApplication, for the tests of everything below
// the windows: an event loop, and no display or Qt Gui.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "PrivateXdgFolders.h"

int main(int argc, char** argv) {
    // For the programs the tests start.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    UsePrivateXdgFolders(home.path());
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
