// FileRegistry against real files: the result codes the program reads, what
// survives the text file, and several writers at once.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <string>

#include "NonRegularFiles.h"
#include "platform/registry/FileRegistry.h"

using namespace platform;

namespace {

constexpr const char* kVastrelKey = "Software\\Orlwen\\Vastrel\\";
constexpr int kWritesPerChild = 100;

std::string ReadFileText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

LONG Set(FileRegistry& registry, HKEY key, const std::string& name, const std::string& data) {
    return registry.RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                                   static_cast<DWORD>(data.size()));
}

// The whole value through the size query, as the program reads "hKey".
std::string Get(FileRegistry& registry, HKEY key, const std::string& name, LONG* status = nullptr) {
    DWORD type = REG_SZ, size = 8;
    LONG result = registry.RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    std::string data(size, ' ');
    if (result == ERROR_SUCCESS)
        result = registry.RegQueryValueExA(key, name, nullptr, &type, (BYTE*)data.data(), &size);
    if (status != nullptr) *status = result;
    return result == ERROR_SUCCESS ? data.substr(0, size) : std::string();
}

// The opened (access) or created (access 0) key, 0 when that fails.
HKEY Key(FileRegistry& registry, const std::string& path = kVastrelKey, DWORD access = 0) {
    HKEY key = 0;
    const LONG result = access == 0
                            ? registry.RegCreateKeyA(HKEY_CURRENT_USER, path, &key)
                            : registry.RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, access, &key);
    return result == ERROR_SUCCESS ? key : 0;
}

class FileRegistryTest : public ::testing::Test {
protected:
    QTemporaryDir dir_;
    QString store_ = dir_.path() + "/state/registry";
    FileRegistry registry_{store_};
};

// Runs inside a child process started by the concurrency test; skipped otherwise.
TEST(FileRegistryChild, WritesValues) {
    const QStringList args = qEnvironmentVariable("VASTREL_REGISTRY_CHILD").split('\n');
    if (args.size() != 2) GTEST_SKIP() << "only run as a child of the concurrency test";
    const std::string prefix = args[1].toStdString();  // args[0]: the store
    FileRegistry registry(args[0]);
    const HKEY key = Key(registry);
    for (int i = 0; i < kWritesPerChild; ++i)
        ASSERT_EQ(Set(registry, key, prefix + std::to_string(i), prefix + std::to_string(-i)), 0);
}

TEST_F(FileRegistryTest, ValuesRoundTripExactlyThroughAReadableFileUnderOneKeyHoweverSpelt) {
    EXPECT_EQ(Key(registry_, "Software\\Orlwen\\Vastrel", KEY_WRITE), 0u) << "opened before made";
    const HKEY key = Key(registry_);
    std::string allBytes;
    for (int b = 1; b <= 0xFF; ++b) allBytes += static_cast<char>(b);
    const std::pair<std::string, std::string> values[] = {
        {"hKey", " 1234"},
        {"all", allBytes},
        {"empty", ""},
        {"odd \"name\"\\=:", std::string("a\0b\\\"\r\n", 7)}};
    for (const auto& [name, data] : values)
        ASSERT_EQ(Set(registry_, key, name, data), ERROR_SUCCESS);
    FileRegistry reader(store_);  // nothing cached: everything comes from the file
    for (const auto& [name, data] : values) {
        LONG status = -1;
        EXPECT_EQ(Get(reader, Key(reader), name, &status), data) << name;
        EXPECT_EQ(status, ERROR_SUCCESS) << name;
    }
    EXPECT_NE(ReadFileText(store_).find("[Software\\Orlwen\\Vastrel]\n\"hKey\"=REG_SZ:\" 1234\"\n"),
              std::string::npos);
    EXPECT_EQ(Get(registry_, Key(registry_, "software\\orlwen\\vastrel", KEY_READ), "HKEY"),
              " 1234");
    EXPECT_EQ(Get(reader, Key(reader, "SOFTWARE\\orlwen\\VASTREL"), "hKey"), " 1234");
    const QString text = QString::fromStdString(ReadFileText(store_)).toLower();
    EXPECT_EQ(text.indexOf("[software"), text.lastIndexOf("[software")) << "one key, however spelt";
}

TEST_F(FileRegistryTest, QueryReportsSizesAndShortBuffers) {
    const HKEY key = Key(registry_);
    const char text[] = " 1234567890";  // the NUL after it must not be stored
    ASSERT_EQ(registry_.RegSetValueExA(key, "hKey", 0, REG_SZ, (const BYTE*)text, 11),
              ERROR_SUCCESS);
    DWORD type = REG_NONE;
    const auto query = [&](const std::string& name, char* buffer, DWORD* size) {
        return registry_.RegQueryValueExA(key, name, nullptr, &type, (BYTE*)buffer, size);
    };
    DWORD size = 8;
    EXPECT_EQ(std::tuple(query("hKey", nullptr, &size), size, type),
              std::tuple(LONG{ERROR_SUCCESS}, 11u, DWORD{REG_SZ}));
    char buffer[11] = {'x', 'x', 'x', 'x'};
    size = 4;
    EXPECT_EQ(std::tuple(query("hKey", buffer, &size), size),
              std::tuple(LONG{ERROR_MORE_DATA}, 11u));
    EXPECT_EQ(std::string(buffer, 4), "xxxx");  // a short buffer is left alone
    EXPECT_EQ(query("hKey", buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer, size), text);
    EXPECT_EQ(query("missing", nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(query("hKey", buffer, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(FileRegistryTest, ConcurrentWritersLoseNothingAndLeaveNoTemporaryFiles) {
    QProcess children[2];  // each killed by its pid if still running
    for (int i = 0; i < 2; ++i) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VASTREL_REGISTRY_CHILD", store_ + '\n' + "ab"[i]);
        children[i].setProcessEnvironment(env);
        children[i].setProcessChannelMode(QProcess::MergedChannels);
        children[i].start(QCoreApplication::applicationFilePath(),
                          {"--gtest_filter=FileRegistryChild.WritesValues"});
    }
    for (QProcess& child : children) {
        ASSERT_TRUE(child.waitForFinished(60000)) << "child did not finish in time";
        EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
    }
    const HKEY key = Key(registry_);
    for (const std::string prefix : {"a", "b"})
        for (int i = 0; i < kWritesPerChild; ++i)
            EXPECT_EQ(Get(registry_, key, prefix + std::to_string(i)), prefix + std::to_string(-i));
    EXPECT_EQ(QDir(dir_.path() + "/state").entryList(QDir::Files | QDir::Hidden),
              QStringList({"registry", "registry.lock"}));
}

// A FIFO or folder as the store or its lock fails the calls at once and is left
// alone; the store, also one reached through a link, is private.
TEST_F(FileRegistryTest, AFifoOrFolderAsStoreOrLockFailsAtOnceAndTheStoreIsPrivate) {
    QDir().mkpath(dir_.path() + "/state");
    const auto results = [&] {
        HKEY key = 0;
        const LONG create = registry_.RegCreateKeyA(HKEY_CURRENT_USER, kVastrelKey, &key);
        const LONG set = Set(registry_, HKEY_CURRENT_USER, "v", "1");
        LONG query = ERROR_SUCCESS;
        Get(registry_, HKEY_CURRENT_USER, "v", &query);
        return (create != ERROR_SUCCESS) + (set != ERROR_SUCCESS) * 2 +
               (query != ERROR_SUCCESS) * 4;
    };
    for (const bool folder : {false, true}) {
        ASSERT_TRUE(folder ? QDir().mkdir(store_) : MakeFifo(store_));
        EXPECT_EQ(ExitCodeWithin(5000, results), 7);
        EXPECT_TRUE(folder ? QDir().rmdir(store_) : IsFifo(store_) && QFile::remove(store_));
    }

    ASSERT_EQ(Set(registry_, HKEY_CURRENT_USER, "v", "1"), ERROR_SUCCESS);
    EXPECT_EQ(ModeOf(store_), 0600);
    EXPECT_EQ(ModeOf(store_ + ".lock"), 0600);
    for (const bool folder : {false, true}) {
        ASSERT_TRUE(QFile::remove(store_ + ".lock"));
        ASSERT_TRUE(folder ? QDir().mkdir(store_ + ".lock") : MakeFifo(store_ + ".lock"));
        EXPECT_EQ(ExitCodeWithin(5000, results), 3) << "writes fail, reads work";
        ASSERT_TRUE(folder ? QDir().rmdir(store_ + ".lock") : QFile::remove(store_ + ".lock"));
        ASSERT_EQ(Set(registry_, HKEY_CURRENT_USER, "v", "1"), ERROR_SUCCESS);
    }
    // Replaced through a link, the file it points to takes the new content
    // and no wider mode than 0600.
    const QString target = dir_.path() + "/elsewhere";
    ASSERT_TRUE(QFile::rename(store_, target) && QFile::link(target, store_));
    ASSERT_TRUE(QFile::setPermissions(
        target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    ASSERT_EQ(Set(registry_, HKEY_CURRENT_USER, "v", "2"), ERROR_SUCCESS);
    EXPECT_TRUE(QFileInfo(store_).isSymLink());
    EXPECT_EQ(Get(registry_, HKEY_CURRENT_USER, "v"), "2");
    EXPECT_EQ(ModeOf(target), 0600);
}

}  // namespace
