// Desktop services: programs started without a shell, and printing that gives
// up at once without a print system.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include "platform/desktop/QtDesktop.h"

namespace platform {
namespace {

TEST(QtDesktop, StartsProgramsWithoutAShell) {
    QTemporaryDir dir;
    const QString out = dir.filePath("out");
    QFile script(dir.filePath("record.sh"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho $$ > \"$1.pid\"\nprintf '%s\\n' \"$2\" > \"$1\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // A whole line written by the script, or nothing after five seconds.
    const auto written = [](const QString& path) {
        QByteArray text;
        static_cast<void>(QTest::qWaitFor(
            [&] {
                QFile file(path);
                text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
                return text.endsWith('\n');
            },
            5000));
        return QString::fromUtf8(text).trimmed();
    };

    QtDesktop desktop;
    const QString argument = "a b; touch " + dir.filePath("injected");
    ASSERT_TRUE(desktop.StartProgram(script.fileName(), {out, argument}));
    EXPECT_EQ(written(out), argument);
    EXPECT_FALSE(QFile::exists(dir.filePath("injected")));
    if (const int pid = written(out + ".pid").toInt(); pid > 1) ::kill(pid, SIGKILL);
    EXPECT_FALSE(desktop.StartProgram(dir.filePath("missing"), {}));
    EXPECT_FALSE(desktop.StartProgram("", {}));
}

TEST(QtDesktop, PrintingWithoutPrintSystemFailsAtOnce) {
    if (QFileInfo::exists("/run/cups/cups.sock")) GTEST_SKIP() << "a print server is running";
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    QtDesktop desktop;
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(desktop.PrintImage(image));
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_FALSE(desktop.PrintImage(QImage()));
}

}  // namespace
}  // namespace platform
