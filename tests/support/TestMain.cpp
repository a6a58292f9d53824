// GoogleTest main with a QApplication, so widget and event-loop tests run on
// the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never touch the developer's own XDG folders.
    QTemporaryDir home;
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME",
                            "XDG_RUNTIME_DIR"}) {
        const QString dir = home.path() + "/" + var;
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(var, dir.toLocal8Bit());
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
