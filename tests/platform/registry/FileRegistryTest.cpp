// FileRegistry against real files: the calls' results, what survives a round
// trip through the text file, damaged stores, and several writers at once.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

#include "platform/registry/FileRegistry.h"

using namespace platform;

namespace {

constexpr const char* kVastrelKey = "Software\\Orlwen\\Vastrel\\";
constexpr const char* kChildStore = "VASTREL_REGISTRY_CHILD_STORE";
constexpr const char* kChildPrefix = "VASTREL_REGISTRY_CHILD_PREFIX";
constexpr int kWritesPerChild = 100;

const BYTE* Bytes(const std::string& text) {
    return reinterpret_cast<const BYTE*>(text.data());
}

std::string ReadFileText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

void WriteFileText(const QString& path, const std::string& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

class FileRegistryTest : public ::testing::Test {
protected:
    QString StorePath() const { return dir_.path() + "/state/registry"; }

    HKEY Create(FileRegistry& registry, const std::string& path) {
        HKEY key = 0;
        EXPECT_EQ(registry.RegCreateKeyA(HKEY_CURRENT_USER, path, &key), ERROR_SUCCESS);
        return key;
    }

    static LONG Set(FileRegistry& registry, HKEY key, const std::string& name,
                    const std::string& data) {
        return registry.RegSetValueExA(key, name, 0, REG_SZ, Bytes(data),
                                       static_cast<DWORD>(data.size()));
    }

    // The whole value through the size query, as the program reads "hKey".
    static std::string Get(FileRegistry& registry, HKEY key, const std::string& name,
                           LONG* status = nullptr) {
        DWORD type = REG_SZ;
        DWORD size = 8;
        LONG result = registry.RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
        std::string data(size, ' ');
        if (result == ERROR_SUCCESS) {
            result = registry.RegQueryValueExA(key, name, nullptr, &type,
                                               reinterpret_cast<BYTE*>(data.data()), &size);
            data.resize(size);
        }
        if (status != nullptr) *status = result;
        return result == ERROR_SUCCESS ? data : std::string();
    }

    QTemporaryDir dir_;
};

// Runs inside a child process started by the concurrency test; skipped otherwise.
TEST(FileRegistryChild, WritesValues) {
    const QString store = qEnvironmentVariable(kChildStore);
    if (store.isEmpty()) GTEST_SKIP() << "only run as a child of ConcurrentProcessesLoseNothing";
    const std::string prefix = qEnvironmentVariable(kChildPrefix).toStdString();
    FileRegistry registry(store);
    HKEY key = 0;
    ASSERT_EQ(registry.RegCreateKeyA(HKEY_CURRENT_USER, kVastrelKey, &key), ERROR_SUCCESS);
    for (int i = 0; i < kWritesPerChild; ++i) {
        const std::string data = prefix + " value " + std::to_string(i);
        ASSERT_EQ(registry.RegSetValueExA(key, prefix + std::to_string(i), 0, REG_SZ, Bytes(data),
                                          static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        ASSERT_EQ(registry.RegSetValueExA(key, "shared", 0, REG_SZ, Bytes(data),
                                          static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }
    EXPECT_EQ(registry.RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(FileRegistryTest, ValuesRoundTripExactly) {
    FileRegistry registry(StorePath());
    const HKEY key = Create(registry, kVastrelKey);
    std::string allBytes;
    for (int b = 1; b <= 0xFF; ++b) allBytes += static_cast<char>(b);
    const std::string withNul("a\0b\\\"\r\n", 7);

    ASSERT_EQ(Set(registry, key, "hKey", " 1234"), ERROR_SUCCESS);
    ASSERT_EQ(Set(registry, key, "all", allBytes), ERROR_SUCCESS);
    ASSERT_EQ(Set(registry, key, "empty", ""), ERROR_SUCCESS);
    ASSERT_EQ(Set(registry, key, "odd \"name\"\\=:", withNul), ERROR_SUCCESS);

    // A fresh object has nothing cached: everything comes from the file.
    FileRegistry reader(StorePath());
    const HKEY readKey = Create(reader, kVastrelKey);
    EXPECT_EQ(Get(reader, readKey, "hKey"), " 1234");
    EXPECT_EQ(Get(reader, readKey, "all"), allBytes);
    EXPECT_EQ(Get(reader, readKey, "odd \"name\"\\=:"), withNul);
    LONG status = -1;
    EXPECT_EQ(Get(reader, readKey, "empty", &status), "");
    EXPECT_EQ(status, ERROR_SUCCESS);

    // Readable by a person: the plain value stands in the file as written.
    const std::string text = ReadFileText(StorePath());
    EXPECT_NE(text.find("[Software\\Orlwen\\Vastrel]\n\"hKey\"=REG_SZ:\" 1234\"\n"),
              std::string::npos)
        << text;
}

TEST_F(FileRegistryTest, SetStoresExactlyTheGivenByteCount) {
    FileRegistry registry(StorePath());
    const HKEY key = Create(registry, kVastrelKey);
    const char text[] = " 1234";  // the NUL after it must not be stored
    ASSERT_EQ(
        registry.RegSetValueExA(key, "hKey", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 5),
        ERROR_SUCCESS);
    DWORD type = REG_NONE;
    DWORD size = 8;
    EXPECT_EQ(registry.RegQueryValueExA(key, "hKey", nullptr, &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(type, REG_SZ);
}

TEST_F(FileRegistryTest, QueryReportsSizesAndShortBuffers) {
    FileRegistry registry(StorePath());
    const HKEY key = Create(registry, kVastrelKey);
    ASSERT_EQ(Set(registry, key, "hKey", " 1234567890"), ERROR_SUCCESS);

    DWORD type = REG_NONE;
    DWORD size = 8;
    EXPECT_EQ(registry.RegQueryValueExA(key, "hKey", nullptr, &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 11u);

    char small[4] = {'x', 'x', 'x', 'x'};
    size = sizeof small;
    EXPECT_EQ(registry.RegQueryValueExA(key, "hKey", nullptr, &type, reinterpret_cast<BYTE*>(small),
                                        &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 11u);
    EXPECT_EQ(std::string(small, 4), "xxxx");  // a short buffer is left alone

    char exact[11];
    size = sizeof exact;
    EXPECT_EQ(registry.RegQueryValueExA(key, "hKey", nullptr, &type, reinterpret_cast<BYTE*>(exact),
                                        &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(exact, size), " 1234567890");

    size = 8;
    EXPECT_EQ(registry.RegQueryValueExA(key, "missing", nullptr, &type, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(registry.RegQueryValueExA(key, "hKey", nullptr, &type, reinterpret_cast<BYTE*>(exact),
                                        nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST_F(FileRegistryTest, PathsAndNamesIgnoreCaseAndTrailingBackslash) {
    FileRegistry registry(StorePath());
    const HKEY created = Create(registry, "Software\\Orlwen\\Vastrel\\");
    ASSERT_EQ(Set(registry, created, "hKey", " 7"), ERROR_SUCCESS);

    for (const char* spelling : {"software\\orlwen\\vastrel", "SOFTWARE\\ORLWEN\\VASTREL\\"}) {
        HKEY opened = 0;
        ASSERT_EQ(registry.RegOpenKeyExA(HKEY_CURRENT_USER, spelling, 0, KEY_READ, &opened),
                  ERROR_SUCCESS)
            << spelling;
        EXPECT_EQ(Get(registry, opened, "HKEY"), " 7") << spelling;
        EXPECT_EQ(registry.RegCloseKey(opened), ERROR_SUCCESS);
    }
    // Creating it again under another spelling adds no second key.
    const HKEY again = Create(registry, "SOFTWARE\\orlwen\\VASTREL");
    EXPECT_EQ(Get(registry, again, "hKey"), " 7");
    const std::string text = ReadFileText(StorePath());
    EXPECT_EQ(text.find("[Software"), text.rfind("[")) << text;
}

TEST_F(FileRegistryTest, OpenFindsCreatedKeysAndTheirParentsOnly) {
    FileRegistry registry(StorePath());
    HKEY key = 0;
    EXPECT_EQ(registry.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Orlwen\\Pelmarsh\\", 0,
                                     KEY_WRITE, &key),
              ERROR_FILE_NOT_FOUND);
    Create(registry, "Software\\Orlwen\\Pelmarsh");
    EXPECT_EQ(registry.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Orlwen", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    HKEY child = 0;
    EXPECT_EQ(registry.RegOpenKeyExA(key, "pelmarsh", 0, KEY_READ, &child), ERROR_SUCCESS);
    EXPECT_EQ(registry.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Orl", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(FileRegistryTest, DeleteRemovesTheValueOnce) {
    FileRegistry registry(StorePath());
    const HKEY created = Create(registry, "Software\\Orlwen\\Pelmarsh");
    ASSERT_EQ(Set(registry, created, "hTapi", "65537"), ERROR_SUCCESS);
    ASSERT_EQ(Set(registry, created, "other", "kept"), ERROR_SUCCESS);

    HKEY key = 0;
    ASSERT_EQ(registry.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Orlwen\\Pelmarsh\\", 0,
                                     KEY_WRITE, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(registry.RegDeleteValueA(key, "hTapi"), ERROR_SUCCESS);
    EXPECT_EQ(registry.RegDeleteValueA(key, "hTapi"), ERROR_FILE_NOT_FOUND);
    LONG status = ERROR_SUCCESS;
    Get(registry, created, "hTapi", &status);
    EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Get(registry, created, "other"), "kept");
    // The key itself stays, as after a clean shut-down.
    EXPECT_EQ(
        registry.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Orlwen\\Pelmarsh", 0, KEY_READ, &key),
        ERROR_SUCCESS);
}

TEST_F(FileRegistryTest, AccessRightsOfOpenedKeysAreEnforced) {
    FileRegistry registry(StorePath());
    Set(registry, Create(registry, kVastrelKey), "hKey", " 1");
    HKEY readOnly = 0;
    HKEY writeOnly = 0;
    ASSERT_EQ(registry.RegOpenKeyExA(HKEY_CURRENT_USER, kVastrelKey, 0, KEY_READ, &readOnly),
              ERROR_SUCCESS);
    ASSERT_EQ(registry.RegOpenKeyExA(HKEY_CURRENT_USER, kVastrelKey, 0, KEY_WRITE, &writeOnly),
              ERROR_SUCCESS);
    EXPECT_EQ(Set(registry, readOnly, "hKey", " 2"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(registry.RegDeleteValueA(readOnly, "hKey"), ERROR_ACCESS_DENIED);
    LONG status = ERROR_SUCCESS;
    Get(registry, writeOnly, "hKey", &status);
    EXPECT_EQ(status, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Get(registry, readOnly, "hKey"), " 1");
}

TEST_F(FileRegistryTest, InvalidHandlesAndLocalMachine) {
    FileRegistry registry(StorePath());
    const HKEY key = Create(registry, kVastrelKey);
    EXPECT_EQ(registry.RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(registry.RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry.RegCloseKey(12345), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Set(registry, key, "hKey", " 1"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry.RegDeleteValueA(key, "hKey"), ERROR_INVALID_HANDLE);
    DWORD size = 8;
    EXPECT_EQ(registry.RegQueryValueExA(key, "hKey", nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
    HKEY child = 0;
    EXPECT_EQ(registry.RegCreateKeyA(key, "sub", &child), ERROR_INVALID_HANDLE);

    EXPECT_EQ(
        registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", 0,
                               0x2003F, &child),
        ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &child),
              ERROR_FILE_NOT_FOUND);
    EXPECT_NE(registry.RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\x", &child), ERROR_SUCCESS);
    EXPECT_EQ(ReadFileText(StorePath()).find("SOFTWARE"), std::string::npos)
        << "nothing under HKEY_LOCAL_MACHINE was stored";
}

TEST_F(FileRegistryTest, SecondInstanceSeesWhatTheFirstWrote) {
    FileRegistry first(StorePath());
    FileRegistry second(StorePath());
    const HKEY firstKey = Create(first, kVastrelKey);
    const HKEY secondKey = Create(second, kVastrelKey);

    ASSERT_EQ(Set(first, firstKey, "hKey", " 1234"), ERROR_SUCCESS);
    EXPECT_EQ(Get(second, secondKey, "hKey"), " 1234");
    ASSERT_EQ(Set(second, secondKey, "hKey", " 99"), ERROR_SUCCESS);
    EXPECT_EQ(Get(first, firstKey, "hKey"), " 99");
    // A write by one keeps the other's values.
    ASSERT_EQ(Set(second, secondKey, "extra", "x"), ERROR_SUCCESS);
    ASSERT_EQ(Set(first, firstKey, "more", "y"), ERROR_SUCCESS);
    EXPECT_EQ(Get(second, secondKey, "extra"), "x");
    EXPECT_EQ(Get(second, secondKey, "more"), "y");
}

TEST_F(FileRegistryTest, DamagedStoreIsReadAroundAndStillWritable) {
    QDir().mkpath(QFileInfo(StorePath()).path());
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) % 256);
    const std::string damaged =
        garbage + "\n[Software\\Orlwen\\Vastrel]\n" + "\"good\"=REG_SZ:\"kept\"\n" +
        "\"bad\"=REG_SZ:\"unterminated\n" + "\"worse\"=REG_SZ:\"bad \\q escape\"\n" +
        "\"hex\"=REG_SZ:\"\\x4\"\n" + "\"type\"=type(99999999999):\"x\"\n" + "[unclosed\n" +
        "\"orphan\"=REG_SZ:\"nowhere\"\n" + std::string(3'000'000, 'A') +
        "\n[Software\\Orlwen\\Vastrel]\n" + "\"good\"=REG_SZ:\"second\"\n" +
        "\"late\"=REG_SZ:\"merged\"\n" + "[Software\\Trunc";
    WriteFileText(StorePath(), damaged);

    FileRegistry registry(StorePath());
    HKEY key = 0;
    ASSERT_EQ(registry.RegOpenKeyExA(HKEY_CURRENT_USER, kVastrelKey, 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(Get(registry, key, "good"), "kept");
    EXPECT_EQ(Get(registry, key, "late"), "merged");
    for (const char* unreadable : {"bad", "worse", "hex", "type", "orphan"}) {
        LONG status = ERROR_SUCCESS;
        Get(registry, key, unreadable, &status);
        EXPECT_EQ(status, ERROR_FILE_NOT_FOUND) << unreadable;
    }

    ASSERT_EQ(Set(registry, key, "hKey", " 5"), ERROR_SUCCESS);
    EXPECT_EQ(Get(registry, key, "hKey"), " 5");
    EXPECT_EQ(Get(registry, key, "good"), "kept");
    EXPECT_LT(ReadFileText(StorePath()).size(), 1000u) << "unreadable lines are not written back";
}

TEST_F(FileRegistryTest, StoreThatCannotBeReadIsNeverOverwritten) {
    // A folder where the file should be: reading fails, so writing must too.
    QDir().mkpath(StorePath());
    FileRegistry registry(StorePath());
    HKEY key = 0;
    EXPECT_NE(registry.RegCreateKeyA(HKEY_CURRENT_USER, kVastrelKey, &key), ERROR_SUCCESS);
    EXPECT_NE(registry.RegSetValueExA(HKEY_CURRENT_USER, "x", 0, REG_SZ, Bytes("1"), 1),
              ERROR_SUCCESS);
    EXPECT_TRUE(QFileInfo(StorePath()).isDir());
}

TEST_F(FileRegistryTest, WritesLeaveNoTemporaryFilesBehind) {
    FileRegistry registry(StorePath());
    const HKEY key = Create(registry, kVastrelKey);
    for (int i = 0; i < 5; ++i) Set(registry, key, "hKey", std::to_string(i));
    const QStringList entries =
        QDir(QFileInfo(StorePath()).path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(entries, QStringList({"registry", "registry.lock"}));
}

TEST_F(FileRegistryTest, ConcurrentProcessesLoseNothing) {
    FileRegistry registry(StorePath());
    Create(registry, kVastrelKey);
    std::vector<std::unique_ptr<QProcess>> children;
    for (const char* prefix : {"a", "b"}) {
        auto child = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildStore, StorePath());
        env.insert(kChildPrefix, prefix);
        child->setProcessEnvironment(env);
        child->setProcessChannelMode(QProcess::MergedChannels);
        child->start(QCoreApplication::applicationFilePath(),
                     {"--gtest_filter=FileRegistryChild.WritesValues"});
        children.push_back(std::move(child));
    }
    for (auto& child : children) {
        ASSERT_TRUE(child->waitForFinished(60000)) << "child did not finish in time";
        EXPECT_EQ(child->exitCode(), 0) << child->readAll().toStdString();
    }

    const HKEY key = Create(registry, kVastrelKey);
    for (const char* prefix : {"a", "b"}) {
        for (int i = 0; i < kWritesPerChild; ++i) {
            const std::string name = prefix + std::to_string(i);
            EXPECT_EQ(Get(registry, key, name), std::string(prefix) + " value " + std::to_string(i))
                << name;
        }
    }
    const std::string last = Get(registry, key, "shared");
    EXPECT_TRUE(last == "a value 99" || last == "b value 99") << last;
}

}  // namespace
