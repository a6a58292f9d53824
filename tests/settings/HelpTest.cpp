// Finding the help page and what the operator sees when it cannot be shown.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/desktop/Desktop.h"
#include "platform/window/MessageBoxes.h"
#include "settings/Help.h"

namespace {

struct FakeDesktop : platform::Desktop {
    bool handlerFound = true;
    QStringList opened;
    bool OpenDocument(const QString& path) override {
        opened << path;
        return handlerFound;
    }
    bool OpenAddress(const QString&) override { return false; }
    bool StartProgram(const QString&, const QStringList&) override { return false; }
    QString FindProgram(const QString&) const override { return {}; }
    bool PrintImage(const QImage&) override { return false; }
};

struct FakeMessages : platform::MessageBoxes {
    QStringList texts;
    void MsgBox(QWidget*, const QString& text, const QString&) override { texts << text; }
};

void Touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

class HelpTest : public ::testing::Test {
protected:
    QTemporaryDir root;
    QString programDir = root.path() + "/my programs/bin";
    FakeDesktop desktop;
    FakeMessages messages;
    Help help{programDir, desktop, messages};
};

TEST_F(HelpTest, PrefersThePageBesideTheProgramThenTheInstalledOne) {
    const QString installed = root.path() + "/my programs/share/doc/vastrel/vastrel.html";
    Touch(installed);
    EXPECT_TRUE(help.OpenHelp(nullptr));
    Touch(programDir + "/vastrel.html");
    EXPECT_TRUE(help.OpenHelp(nullptr));
    EXPECT_EQ(desktop.opened, QStringList({installed, programDir + "/vastrel.html"}));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(HelpTest, MissingPageOrNoHandlerIsReported) {
    if (!help.FindHelpFile().isEmpty()) GTEST_SKIP() << "a help page is installed system-wide";
    EXPECT_FALSE(help.OpenHelp(nullptr));
    EXPECT_TRUE(desktop.opened.isEmpty());
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].contains("vastrel.html cannot be found"));

    Touch(programDir + "/vastrel.html");
    desktop.handlerFound = false;
    EXPECT_FALSE(help.OpenHelp(nullptr));
    ASSERT_EQ(messages.texts.size(), 2);
    EXPECT_TRUE(messages.texts[1].contains("cannot be opened"));
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
