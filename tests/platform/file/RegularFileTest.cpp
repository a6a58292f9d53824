// Opening only regular files, never waiting on anything else, and private folders.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "NonRegularFiles.h"
#include "platform/file/RegularFile.h"

using platform::RegularFile;
using Status = RegularFile::Status;

namespace {

// Each call returns at once; this only keeps a broken one from hanging the test.
constexpr int kMs = 5000;

class RegularFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        QFile file(plain);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("0123456789");
        file.close();
        ASSERT_TRUE(MakeFifo(fifo));
        ASSERT_TRUE(QFile::link(plain, link));
    }
    QTemporaryDir dir;
    const QString plain = dir.filePath("plain"), fifo = dir.filePath("fifo"),
                  link = dir.filePath("link");
};

TEST_F(RegularFileTest, OnlyARegularFileOpensAndAFifoFolderOrDeviceIsRefusedAtOnce) {
    struct Case {
        QString path;
        int flags;
        Status expected;
    };
    const Case cases[] = {
        {plain, O_RDWR, Status::Ok},
        {link, O_WRONLY | O_APPEND, Status::Ok},
        {fifo, O_RDONLY, Status::NotRegular},  // no writer: open(2) alone would wait
        {fifo, O_WRONLY, Status::NotRegular},
        {fifo, O_RDWR | O_CREAT, Status::NotRegular},
        {dir.path(), O_RDONLY, Status::NotRegular},
        {dir.path(), O_WRONLY | O_CREAT, Status::NotRegular},
        {"/dev/null", O_WRONLY, Status::NotRegular},
        {dir.filePath("missing"), O_RDONLY, Status::Missing},
        {plain + "/below", O_RDONLY, Status::Missing},
    };
    for (const Case& c : cases) {
        const int got = ExitCodeWithin(kMs, [&] {
            const RegularFile::Opened file = RegularFile::Open(c.path, c.flags);
            // What opens is an ordinary descriptor: blocking, not inherited.
            if (file.fd >= 0 && ((::fcntl(file.fd, F_GETFL) & O_NONBLOCK) != 0 ||
                                 (::fcntl(file.fd, F_GETFD) & FD_CLOEXEC) == 0))
                return 99;
            return int(file.status);
        });
        EXPECT_EQ(got, int(c.expected)) << c.path.toStdString() << " flags " << c.flags;
    }
    // With peers on both ends it is refused just the same, and gets no byte.
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
    ASSERT_TRUE(reader >= 0 && writer >= 0);
    EXPECT_EQ(ExitCodeWithin(kMs, [&] { return int(RegularFile::Open(fifo, O_WRONLY).status); }),
              int(Status::NotRegular));
    EXPECT_EQ(ExitCodeWithin(kMs,
                             [&] {
                                 std::string text;
                                 return int(RegularFile::Read(fifo, text, 100));
                             }),
              int(Status::NotRegular));
    char byte = 0;
    EXPECT_EQ(::read(reader, &byte, 1), -1);  // EAGAIN: empty
    ::close(writer);
    ::close(reader);
}

TEST_F(RegularFileTest, ReadGivesTheFileOrItsStartAndMissingFoldersAreMadePrivate) {
    std::string text = "old";
    EXPECT_EQ(RegularFile::Read(link, text, 100), Status::Ok);
    EXPECT_EQ(text, "0123456789");
    EXPECT_EQ(RegularFile::Read(plain, text, 4), Status::Ok);
    EXPECT_EQ(text, "0123");
    EXPECT_EQ(RegularFile::Read(dir.filePath("missing"), text, 4), Status::Missing);
    EXPECT_EQ(text, "");

    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    EXPECT_TRUE(RegularFile::MakeFolders(dir.filePath("a/b/c")));
    EXPECT_TRUE(RegularFile::MakeFolders(dir.filePath("a/b")));
    EXPECT_EQ(ModeOf(dir.path()), 0755);  // an existing folder is left as it is
    for (const char* made : {"a", "a/b", "a/b/c"}) EXPECT_EQ(ModeOf(dir.filePath(made)), 0700);
    EXPECT_FALSE(RegularFile::MakeFolders(plain + "/x"));
    EXPECT_FALSE(RegularFile::MakeFolders(fifo));
}

}  // namespace
