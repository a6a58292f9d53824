#pragma once
#include <QString>
#include <string_view>

namespace platform {

// The two steps every writer of files here repeats on its descriptor.
class FileIo {
public:
    // Every byte, through short writes and EINTR; false at the first real
    // failure (a full disk, a closed pipe), with part of the bytes written.
    static bool WriteAll(int fd, std::string_view bytes);

    // fsync of the folder itself, so a file just made or renamed in it is
    // still there after a crash. Best effort: a folder that cannot be
    // opened is left alone.
    static void SyncFolder(const QString& dir);
};

}  // namespace platform
