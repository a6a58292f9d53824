// FileRegistry against real files: the result codes the program reads, what
// survives the text file, damaged stores, and several writers at once.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>
#include <string>

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
        result = registry.RegQueryValueExA(key, name, nullptr, &type,
                                           reinterpret_cast<BYTE*>(data.data()), &size);
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
    for (int i = 0; i < kWritesPerChild; ++i) {
        const std::string data = prefix + " value " + std::to_string(i);
        ASSERT_EQ(Set(registry, key, prefix + std::to_string(i), data), ERROR_SUCCESS);
        ASSERT_EQ(Set(registry, key, "shared", data), ERROR_SUCCESS);
    }
}

TEST_F(FileRegistryTest, ValuesRoundTripExactlyThroughAReadableFile) {
    const HKEY key = Key(registry_);
    std::string allBytes;
    for (int b = 1; b <= 0xFF; ++b) allBytes += static_cast<char>(b);
    const std::pair<std::string, std::string> values[] = {
        {"hKey", " 1234"}, {"all", allBytes}, {"empty", ""},
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
}

TEST_F(FileRegistryTest, QueryReportsSizesAndShortBuffers) {
    const HKEY key = Key(registry_);
    const char text[] = " 1234567890";  // the NUL after it must not be stored
    ASSERT_EQ(
        registry_.RegSetValueExA(key, "hKey", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 11),
        ERROR_SUCCESS);
    DWORD type = REG_NONE;
    const auto query = [&](const std::string& name, char* buffer, DWORD* size) {
        return registry_.RegQueryValueExA(key, name, nullptr, &type,
                                          reinterpret_cast<BYTE*>(buffer), size);
    };
    DWORD size = 8;
    EXPECT_EQ(query("hKey", nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::tuple(size, type), std::tuple(11u, DWORD{REG_SZ}));
    char buffer[11] = {'x', 'x', 'x', 'x'};
    size = 4;
    EXPECT_EQ(std::tuple(query("hKey", buffer, &size), size), std::tuple(LONG{ERROR_MORE_DATA}, 11u));
    EXPECT_EQ(std::string(buffer, 4), "xxxx");  // a short buffer is left alone
    EXPECT_EQ(query("hKey", buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer, size), " 1234567890");
    EXPECT_EQ(query("missing", nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(query("hKey", buffer, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(FileRegistryTest, KeysIgnoreCaseAndTrailingBackslashAndOpenOnlyIfCreated) {
    EXPECT_EQ(Key(registry_, "Software\\Orlwen\\Vastrel", KEY_WRITE), 0u);
    ASSERT_EQ(Set(registry_, Key(registry_, "Software\\Orlwen\\Vastrel\\"), "hKey", " 7"),
              ERROR_SUCCESS);
    for (const char* spelling : {"software\\orlwen\\vastrel", "SOFTWARE\\ORLWEN\\VASTREL\\"})
        EXPECT_EQ(Get(registry_, Key(registry_, spelling, KEY_READ), "HKEY"), " 7") << spelling;
    EXPECT_EQ(Get(registry_, Key(registry_, "SOFTWARE\\orlwen\\VASTREL"), "hKey"), " 7");
    const std::string text = ReadFileText(store_);
    EXPECT_EQ(text.find("[Software"), text.rfind("[")) << "one key, however spelt";
    EXPECT_NE(Key(registry_, "Software\\Orlwen", KEY_READ), 0u) << "a parent exists";
    EXPECT_EQ(Key(registry_, "Software\\Orl", KEY_READ), 0u);
}

TEST_F(FileRegistryTest, DamagedStoreIsReadAroundAndStillWritable) {
    QDir().mkpath(dir_.path() + "/state");
    std::string text;
    for (int i = 0; i < 4096; ++i) text += static_cast<char>((i * 7919) % 256);
    text +=
        "\n[Software\\Orlwen\\Vastrel]\n\"good\"=REG_SZ:\"kept\"\n\"bad\"=REG_SZ:\"unterminated\n"
        "\"hex\"=REG_SZ:\"\\x4\"\n"
        "\"type\"=type(99999999999):\"x\"\n[unclosed\n\"orphan\"=REG_SZ:\"nowhere\"\n" +
        std::string(3'000'000, 'A') +
        "\n[Software\\Orlwen\\Vastrel]\n\"good\"=REG_SZ:\"second\"\n\"late\"=REG_SZ:\"merged\"\n"
        "[Software\\Trunc";
    QFile file(store_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text.data(), qint64(text.size())));
    file.close();

    const HKEY key = Key(registry_, kVastrelKey, KEY_ALL_ACCESS);
    EXPECT_EQ(Get(registry_, key, "good") + Get(registry_, key, "late"), "keptmerged");
    for (const char* unreadable : {"bad", "hex", "type", "orphan"}) {
        LONG status = ERROR_SUCCESS;
        Get(registry_, key, unreadable, &status);
        EXPECT_EQ(status, ERROR_FILE_NOT_FOUND) << unreadable;
    }
    ASSERT_EQ(Set(registry_, key, "hKey", " 5"), ERROR_SUCCESS);
    EXPECT_EQ(Get(registry_, key, "hKey") + Get(registry_, key, "good"), " 5kept");
    EXPECT_LT(ReadFileText(store_).size(), 1000u) << "unreadable lines are not written back";
}

TEST_F(FileRegistryTest, ConcurrentWritersLoseNothingAndLeaveNoTemporaryFiles) {
    ASSERT_EQ(Set(registry_, Key(registry_), "hKey", " 1234"), ERROR_SUCCESS);
    std::vector<std::unique_ptr<QProcess>> children;  // each killed by its pid if still running
    for (const char* prefix : {"a", "b"}) {
        auto& child = children.emplace_back(std::make_unique<QProcess>());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VASTREL_REGISTRY_CHILD", store_ + '\n' + prefix);
        child->setProcessEnvironment(env);
        child->setProcessChannelMode(QProcess::MergedChannels);
        child->start(QCoreApplication::applicationFilePath(),
                     {"--gtest_filter=FileRegistryChild.WritesValues"});
    }
    for (auto& child : children) {
        ASSERT_TRUE(child->waitForFinished(60000)) << "child did not finish in time";
        EXPECT_EQ(child->exitCode(), 0) << child->readAll().toStdString();
    }
    const HKEY key = Key(registry_);
    for (const std::string prefix : {"a", "b"})
        for (int i = 0; i < kWritesPerChild; ++i)
            EXPECT_EQ(Get(registry_, key, prefix + std::to_string(i)),
                      prefix + " value " + std::to_string(i));
    const std::string last = Get(registry_, key, "shared");
    EXPECT_TRUE(last == "a value 99" || last == "b value 99") << last;
    EXPECT_EQ(Get(registry_, key, "hKey"), " 1234");
    EXPECT_EQ(QDir(dir_.path() + "/state").entryList(QDir::Files | QDir::Hidden),
              QStringList({"registry", "registry.lock"}));
}

}  // namespace
