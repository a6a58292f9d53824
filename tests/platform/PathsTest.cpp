// Where the data files go: beside a program run from its build folder, in
// the user's data folder for an installed one, even when root could write
// beside it. TestMain points the XDG variables at a temporary home.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/Paths.h"

namespace platform {
namespace {

QString UserDataDir() {
    return qEnvironmentVariable("XDG_DATA_HOME") + "/vastrel";
}

bool ProbeLeftBehind(const QString& dir) {
    return !QDir(dir).entryList({".vastrel-probe-*"}, QDir::Files | QDir::Hidden).isEmpty();
}

TEST(Paths, ABuildFolderKeepsTheDataBesideTheProgram) {
    QTemporaryDir build;
    QDir().mkpath(build.path() + "/bin");
    const Paths paths = Paths::FromEnvironment(build.path() + "/bin");
    EXPECT_EQ(paths.dataDir, build.path() + "/bin");
    EXPECT_FALSE(ProbeLeftBehind(build.path() + "/bin"));
}

TEST(Paths, AnInstalledProgramKeepsTheDataInTheUsersDataFolder) {
    // A system folder, whether or not this user may write there.
    EXPECT_EQ(Paths::FromEnvironment("/usr/bin").dataDir, UserDataDir());
    EXPECT_EQ(Paths::FromEnvironment("/usr/local/bin").dataDir, UserDataDir());
    EXPECT_FALSE(ProbeLeftBehind("/usr/bin"));

    // bin/ of a prefix of one's own, laid out by cmake --install.
    QTemporaryDir prefix;
    QDir().mkpath(prefix.path() + "/bin");
    QDir().mkpath(prefix.path() + "/share/doc/vastrel");
    QFile help(prefix.path() + "/share/doc/vastrel/vastrel.html");
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.close();
    EXPECT_EQ(Paths::FromEnvironment(prefix.path() + "/bin").dataDir, UserDataDir());
    EXPECT_TRUE(QDir(UserDataDir()).exists());
}

TEST(Paths, AFolderThatMerelyIsCalledBinIsNotAnInstallation) {
    QTemporaryDir tree;
    QDir().mkpath(tree.path() + "/bin");
    QDir().mkpath(tree.path() + "/share/doc/vastrel");  // no help page inside
    EXPECT_EQ(Paths::FromEnvironment(tree.path() + "/bin").dataDir, tree.path() + "/bin");
}

TEST(Paths, AMissingProgramFolderFallsBackToTheUsersDataFolder) {
    QTemporaryDir tree;
    EXPECT_EQ(Paths::FromEnvironment(tree.path() + "/gone").dataDir, UserDataDir());
}

}  // namespace
}  // namespace platform
