// The start-up shortcut as an XDG autostart entry: where it goes, what it
// says, how the target is quoted, and what is refused.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <tuple>

#include "NonRegularFiles.h"
#include "platform/desktop/ShellLinks.h"

namespace platform {
namespace {

constexpr const char* kStartup = "..\\..\\Start Menu\\Programs\\Startup";
constexpr const char* kLink = "Shortcut to Vastrel";

QString Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class ShellLinksTest : public ::testing::Test {
protected:
    QTemporaryDir root;
    QString autostart = root.path() + "/config/autostart";
    ShellLinks links{autostart};
};

TEST_F(ShellLinksTest, CreatesTheAutostartEntryAndRemovesOnlyThatLink) {
    EXPECT_NE(links.fCreateShellLink(kStartup, kLink, "/opt/vastrel/vastrel", "/min"), 0);
    const QString path = autostart + "/shortcut-to-vastrel.desktop";
    EXPECT_EQ(links.EntryPath(kStartup, kLink), path);
    EXPECT_EQ(Read(path),
              "[Desktop Entry]\nType=Application\nName=Shortcut to Vastrel\n"
              "Exec=/opt/vastrel/vastrel /min\nX-GNOME-Autostart-enabled=true\n");
    EXPECT_EQ(QDir(autostart).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no temporary";
    EXPECT_EQ(std::tuple(ModeOf(path), ModeOf(autostart), ModeOf(root.path() + "/config")),
              std::tuple(0600, 0700, 0700));
    ASSERT_NE(links.fCreateShellLink(kStartup, "Other", "/w", ""), 0);
    EXPECT_NE(links.fRemoveShellLink("..\\..\\START MENU/Programs\\startup", kLink), 0);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(links.fRemoveShellLink(kStartup, kLink), 0) << "already gone";
    EXPECT_TRUE(QFile::exists(links.EntryPath(kStartup, "Other")));
}

TEST_F(ShellLinksTest, QuotesEscapesAndRefusesWhatWouldLeaveTheEntryOrTheFolder) {
    for (const char* folder : {"", "Startup", "..\\Start Menu\\Programs\\Startup", "/tmp"})
        EXPECT_EQ(links.fCreateShellLink(folder, kLink, "/v", "/min"), 0) << folder;
    EXPECT_EQ(links.fCreateShellLink(kStartup, "...", "/v", "") +
                  links.fCreateShellLink(kStartup, kLink, "", "/min"),
              0)
        << "no name, no target";
    EXPECT_FALSE(QDir(autostart).exists());
    const std::tuple<std::string, std::string, QString> execs[] = {
        // target, arguments, Exec
        {"/home/a b/vastrel", "/min", "\"/home/a b/vastrel\" /min"},
        {"/x/$HOME\"`\\", "", "\"/x/\\$HOME\\\"\\`\\\\\""},
        {"/x/100%", "", "/x/100%%"}};
    for (const auto& [target, arguments, exec] : execs)
        EXPECT_EQ(ShellLinks::ExecLine(target, arguments), exec) << target;
    ASSERT_NE(
        links.fCreateShellLink(kStartup, "Evil\nExec=/bin/rm", "/a b\\c", "/min\nHidden=true"), 0);
    const QStringList lines = Read(links.EntryPath(kStartup, "Evil\nExec=/bin/rm")).split('\n');
    EXPECT_EQ(lines.size(), 6);  // five lines and the final newline
    EXPECT_TRUE(lines.contains("Name=Evil\\nExec=/bin/rm"));
    // Four backslashes: the Exec escape, then the value escape.
    EXPECT_TRUE(lines.contains("Exec=\"/a b\\\\\\\\c\" /min Hidden=true"))
        << lines.join(" | ").toStdString();
    EXPECT_EQ(links.EntryPath(kStartup, "../../.bashrc"), autostart + "/bashrc.desktop");
}

}  // namespace
}  // namespace platform
