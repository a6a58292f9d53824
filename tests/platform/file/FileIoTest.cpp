// Writing all the bytes: through short writes and EINTR, and failing (not
// looping) on a descriptor that takes none.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "NonRegularFiles.h"
#include "platform/file/FileIo.h"

using platform::FileIo;

namespace {

constexpr int kMs = 10000;  // the writes take well under a second
constexpr std::size_t kBytes = 4u << 20;

char PatternByte(std::size_t i) {
    return static_cast<char>(i % 251);
}

void Ignore(int) {}

// A slow reader in its own process; exit code 0 when every byte came in order.
int ReadSlowly(int fd) {
    char chunk[4096];
    std::size_t at = 0;
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0; ::usleep(100)) {
        for (ssize_t i = 0; i < n; ++i)
            if (chunk[i] != PatternByte(at++)) return 2;
    }
    return at == kBytes ? 0 : 3;
}

// Writes into a pipe while a timer interrupts write(2) every millisecond, so
// it returns short counts and EINTR.
int WriteInterrupted() {
    int fds[2];
    if (::pipe(fds) != 0) return 4;
    const pid_t reader = ::fork();
    if (reader == 0) {
        ::close(fds[1]);
        ::_exit(ReadSlowly(fds[0]));
    }
    ::close(fds[0]);
    struct sigaction action {};
    action.sa_handler = Ignore;  // no SA_RESTART
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
    if (!written) return 1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 5;
}

TEST(FileIo, EveryByteArrivesThroughInterruptedWrites) {
    EXPECT_EQ(ExitCodeWithin(kMs, WriteInterrupted), 0);
}

TEST(FileIo, ADescriptorThatTakesNothingFails) {
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("file"));
    const int fd = ::open(path.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ExitCodeWithin(kMs, [fd] { return FileIo::WriteAll(fd, "bytes") ? 1 : 0; }), 0);
    ::close(fd);
}

}  // namespace
