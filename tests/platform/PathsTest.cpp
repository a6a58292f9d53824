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

TEST(Paths, OnlyABuildFolderKeepsTheDataBesideTheProgram) {
    const QString userData = qEnvironmentVariable("XDG_DATA_HOME") + "/vastrel";
    QTemporaryDir root;
    const QString build = root.path() + "/build/bin", prefix = root.path() + "/prefix",
                  bare = root.path() + "/bare";
    // A folder merely called bin (no help page inside) is no installation.
    ASSERT_TRUE(QDir().mkpath(build) && QDir().mkpath(bare + "/bin") &&
                QDir().mkpath(bare + "/share/doc/vastrel") && QDir().mkpath(prefix + "/bin") &&
                QDir().mkpath(prefix + "/share/doc/vastrel"));
    ASSERT_TRUE(QFile(prefix + "/share/doc/vastrel/vastrel.html").open(QIODevice::WriteOnly));
    const std::pair<QString, QString> cases[] = {
        {build, build},
        {bare + "/bin", bare + "/bin"},
        {prefix + "/bin", userData},  // laid out by cmake --install
        {"/usr/bin", userData},       // whether or not this user may write there
        {"/usr/local/bin", userData},
        {root.path() + "/gone", userData},
    };
    for (const auto& [programDir, dataDir] : cases)
        EXPECT_EQ(Paths::FromEnvironment(programDir).dataDir, dataDir) << programDir.toStdString();
    EXPECT_TRUE(QDir(userData).exists());
    for (const QString& dir : {build, QString("/usr/bin")})  // the write probe is cleaned up
        EXPECT_TRUE(
            QDir(dir).entryList({".vastrel-probe-*"}, QDir::Files | QDir::Hidden).isEmpty());
}

}  // namespace
}  // namespace platform
