#pragma once
#include <sys/types.h>
#include <QString>
#include <cstddef>
#include <string>

namespace platform {

// Opening and reading the user's files without ever waiting on one: a FIFO,
// device, socket or folder put where a file belongs is refused rather than
// opened (opening a FIFO waits for a peer, reading one waits for data).
class RegularFile {
public:
    enum class Status { Ok, Missing, NotRegular, Failed };

    struct Opened {
        int fd = -1;  // the caller's to close; -1 unless status is Ok
        Status status = Status::Failed;
    };

    // open(2) with the caller's flags (O_CREAT with mode, O_APPEND, ...), but
    // only ever of a regular file; the descriptor is blocking and close-on-exec.
    static Opened Open(const QString& path, int flags, mode_t mode = 0600);
    static Opened Open(const char* path, int flags, mode_t mode = 0600);

    // The whole file, or its first maxBytes bytes when it is longer.
    static Status Read(const QString& path, std::string& content, std::size_t maxBytes);

    // Makes the folder and every missing one above it, each private (0700),
    // never inside a folder that every user may write to; folders that exist
    // keep their permissions. True when it is a folder.
    static bool MakeFolders(const QString& dir);
};

}  // namespace platform
