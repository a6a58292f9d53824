// Opening only regular files and never waiting on anything else, private
// folders, and writing every byte through short writes and EINTR.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "NonRegularFiles.h"
#include "platform/file/FileIo.h"
#include "platform/file/RegularFile.h"

using namespace platform;
using Status = RegularFile::Status;
using namespace std::string_literals;

namespace {

constexpr int kMs = 10000;  // every call returns at once; this only keeps a broken one from hanging
constexpr std::size_t kBytes = 4u << 20;

char PatternByte(std::size_t i) {
    return static_cast<char>(i % 251);
}

// Into a pipe with a slow reader in its own process, while a timer interrupts
// write(2) every millisecond (short counts, EINTR). 0: every byte came in order.
int WriteInterrupted() {
    int fds[2];
    if (::pipe(fds) != 0) return 4;
    const pid_t reader = ::fork();
    if (reader == 0) {
        ::close(fds[1]);
        char chunk[4096];
        std::size_t at = 0;
        for (ssize_t n; (n = ::read(fds[0], chunk, sizeof chunk)) > 0; ::usleep(100))
            for (ssize_t i = 0; i < n; ++i)
                if (chunk[i] != PatternByte(at++)) ::_exit(2);
        ::_exit(at == kBytes ? 0 : 3);
    }
    ::close(fds[0]);
    struct sigaction action {};
    action.sa_handler = [](int) {};  // no SA_RESTART
    ::sigaction(SIGALRM, &action, nullptr);
    const itimerval every{{0, 1000}, {0, 1000}};
    ::setitimer(ITIMER_REAL, &every, nullptr);
    std::string bytes(kBytes, '\0');
    for (std::size_t i = 0; i < kBytes; ++i) bytes[i] = PatternByte(i);
    const bool written = FileIo::WriteAll(fds[1], bytes);
    ::close(fds[1]);
    int status = 0;
    while (::waitpid(reader, &status, 0) < 0 && errno == EINTR) {
    }
    return !written ? 1 : WIFEXITED(status) ? WEXITSTATUS(status) : 5;
}

TEST(FileIo, EveryByteArrivesThroughInterruptedWritesAndADescriptorTakingNoneFails) {
    EXPECT_EQ(ExitCodeWithin(kMs, WriteInterrupted), 0);
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("file"));
    const int fd = ::open(path.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ExitCodeWithin(kMs, [fd] { return FileIo::WriteAll(fd, "bytes") ? 1 : 0; }), 0);
    ::close(fd);
}

class RegularFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        QFile file(plain);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("0123456789") == 10);
        file.close();
        ASSERT_TRUE(MakeFifo(fifo) && QFile::link(plain, link));
    }
    QTemporaryDir dir;
    const QString plain = dir.filePath("plain"), fifo = dir.filePath("fifo"),
                  link = dir.filePath("link");
};

TEST_F(RegularFileTest, OnlyARegularFileOpensAndAFifoFolderOrDeviceIsRefusedAtOnce) {
    const std::tuple<QString, int, Status> cases[] = {
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
    for (const auto& [path, flags, expected] : cases) {
        const int got = ExitCodeWithin(kMs, [&] {
            const RegularFile::Opened file = RegularFile::Open(path, flags);
            // What opens is an ordinary descriptor: blocking, not inherited.
            if (file.fd >= 0 && ((::fcntl(file.fd, F_GETFL) & O_NONBLOCK) != 0 ||
                                 (::fcntl(file.fd, F_GETFD) & FD_CLOEXEC) == 0))
                return 99;
            return int(file.status);
        });
        EXPECT_EQ(got, int(expected)) << path.toStdString() << " flags " << flags;
    }
    // With peers on both ends it is refused just the same, and takes no byte.
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
    ASSERT_TRUE(reader >= 0 && writer >= 0);
    EXPECT_EQ(ExitCodeWithin(kMs,
                             [&] {
                                 std::string text;
                                 return int(RegularFile::Open(fifo, O_WRONLY).status) * 10 +
                                        int(RegularFile::Read(fifo, text, 100));
                             }),
              int(Status::NotRegular) * 11);
    char byte = 0;
    EXPECT_EQ(::read(reader, &byte, 1), -1);  // EAGAIN: empty
    ::close(writer);
    ::close(reader);
}

TEST_F(RegularFileTest, ReadGivesTheFileOrItsStartAndMissingFoldersAreMadePrivate) {
    std::string text = "old";
    EXPECT_EQ(std::pair(RegularFile::Read(link, text, 100), text),
              std::pair(Status::Ok, "0123456789"s));
    EXPECT_EQ(std::pair(RegularFile::Read(plain, text, 4), text), std::pair(Status::Ok, "0123"s));
    EXPECT_EQ(std::pair(RegularFile::Read(dir.filePath("missing"), text, 4), text),
              std::pair(Status::Missing, ""s));

    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    EXPECT_TRUE(RegularFile::MakeFolders(dir.filePath("a/b/c")));
    EXPECT_TRUE(RegularFile::MakeFolders(dir.filePath("a/b")));
    EXPECT_EQ(ModeOf(dir.path()), 0755);  // an existing folder is left as it is
    for (const char* made : {"a", "a/b", "a/b/c"}) EXPECT_EQ(ModeOf(dir.filePath(made)), 0700);
    EXPECT_FALSE(RegularFile::MakeFolders(plain + "/x") || RegularFile::MakeFolders(fifo));
}

}  // namespace
