// Finding the help page and what the operator sees when it cannot be shown.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FakeDesktop.h"
#include "FakeMessageBoxes.h"
#include "settings/Help.h"

namespace {

void Touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile(path).open(QIODevice::WriteOnly);
}

TEST(Help, PrefersThePageBesideTheProgramThenTheInstalledOneAndReportsFailures) {
    QTemporaryDir root;
    const QString programDir = root.path() + "/my programs/bin";
    FakeDesktop desktop;
    FakeMessageBoxes messages;
    Help help{programDir, desktop, messages};
    if (help.FindHelpFile().isEmpty()) {  // else a page is installed system-wide
        EXPECT_FALSE(help.OpenHelp(nullptr));
        EXPECT_TRUE(
            messages.shown.value(0).startsWith("The help file vastrel.html cannot be found"));
        messages.shown.clear();
    }
    const QString installed = root.path() + "/my programs/share/doc/vastrel/vastrel.html";
    Touch(installed);
    EXPECT_TRUE(help.OpenHelp(nullptr));
    Touch(programDir + "/vastrel.html");
    EXPECT_TRUE(help.OpenHelp(nullptr));
    desktop.result = false;  // no program to show HTML pages
    EXPECT_FALSE(help.OpenHelp(nullptr));
    EXPECT_EQ(desktop.calls,
              QStringList({"open " + installed, "open " + programDir + "/vastrel.html",
                           "open " + programDir + "/vastrel.html"}));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains("cannot be opened"));
}

}  // namespace
