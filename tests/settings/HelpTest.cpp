// Finding the help page and what the operator sees when it cannot be shown.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FakeDesktop.h"
#include "FakeMessageBoxes.h"
#include "settings/Help.h"

namespace {

class HelpTest : public ::testing::Test {
protected:
    void Touch(const QString& path) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QTemporaryDir root;
    QString programDir = root.path() + "/my programs/bin";
    FakeDesktop desktop;
    FakeMessageBoxes messages;
    Help help{programDir, desktop, messages};
};

TEST_F(HelpTest, PrefersThePageBesideTheProgramThenTheInstalledOne) {
    const QString installed = root.path() + "/my programs/share/doc/vastrel/vastrel.html";
    Touch(installed);
    EXPECT_TRUE(help.OpenHelp(nullptr));
    Touch(programDir + "/vastrel.html");
    EXPECT_TRUE(help.OpenHelp(nullptr));
    EXPECT_EQ(desktop.calls,
              QStringList({"open " + installed, "open " + programDir + "/vastrel.html"}));
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(HelpTest, MissingPageOrNoHandlerIsReported) {
    if (!help.FindHelpFile().isEmpty()) GTEST_SKIP() << "a help page is installed system-wide";
    EXPECT_FALSE(help.OpenHelp(nullptr));
    EXPECT_TRUE(desktop.calls.isEmpty());
    Touch(programDir + "/vastrel.html");
    desktop.result = false;
    EXPECT_FALSE(help.OpenHelp(nullptr));
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_TRUE(messages.shown[0].startsWith("The help file vastrel.html cannot be found"));
    EXPECT_TRUE(messages.shown[1].contains("cannot be opened"));
}

// The page shipped with the build sits beside the executable.
TEST(HelpPage, IsCopiedBesideTheProgram) {
    const QString binDir = qEnvironmentVariable("VASTREL_BIN_DIR");
    if (binDir.isEmpty()) GTEST_SKIP() << "run through ctest";
    QFile page(binDir + "/vastrel.html");
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QByteArray html = page.readAll();
    for (const char* part : {"<title>Vastrel", "vastrel.ini", "In.log", "/min", "Options"})
        EXPECT_TRUE(html.contains(part)) << part;
}

}  // namespace
