// Desktop services: programs started without a shell, PATH look-ups, and
// printing that gives up at once without a print system.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include "platform/desktop/QtDesktop.h"

namespace platform {
namespace {

QString WaitForFile(const QString& path, int ms = 5000) {
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray text = file.readAll();
            if (text.endsWith('\n')) return QString::fromUtf8(text).trimmed();
        }
        QTest::qWait(20);
    }
    return {};
}

TEST(QtDesktop, StartsProgramsWithoutAShell) {
    QTemporaryDir dir;
    const QString out = dir.filePath("out");
    const QString script = dir.filePath("record.sh");
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\necho $$ > \"$1.pid\"\nprintf '%s\\n' \"$2\" > \"$1\"\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QtDesktop desktop;
    const QString argument = "a b; touch " + dir.filePath("injected");
    ASSERT_TRUE(desktop.StartProgram(script, {out, argument}));
    EXPECT_EQ(WaitForFile(out), argument);
    EXPECT_FALSE(QFile::exists(dir.filePath("injected")));
    // The script ends by itself; make sure of it.
    const int pid = WaitForFile(out + ".pid").toInt();
    if (pid > 1) ::kill(pid, SIGKILL);

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
