// GoogleTest main. Built twice: with a QCoreApplication for the tests of the
// Qt Core libraries (no display, no Qt Gui), and with VASTREL_TEST_WIDGETS a
// QApplication, so widget tests run on the offscreen platform.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "PrivateXdgFolders.h"

#ifdef VASTREL_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
    // For the programs the tests start.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    UsePrivateXdgFolders(home.path());
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
