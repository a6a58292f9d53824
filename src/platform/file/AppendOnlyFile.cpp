#include "AppendOnlyFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <string>

#include "platform/file/FileIo.h"
#include "platform/file/RegularFile.h"

namespace platform {
namespace {

// The length of the first part of text, at most limit, that ends just after a
// CR LF; the whole limit when there is none in it.
std::size_t ChunkEnd(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    const std::size_t lf = text.rfind('\n', limit - 1);
    return lf == std::string_view::npos || lf == 0 ? limit : lf + 1;
}

bool WriteChunked(int fd, std::string_view text, std::size_t chunk) {
    while (!text.empty()) {
        const std::size_t n = ChunkEnd(text, chunk);
        if (!FileIo::WriteAll(fd, text.substr(0, n))) return false;
        text.remove_prefix(n);
    }
    return true;
}

}  // namespace

AppendOnlyFile::AppendOnlyFile(QString path) : path_(std::move(path)) {}

bool AppendOnlyFile::Append(const std::vector<std::string_view>& pieces, std::string_view header,
                            std::size_t chunkBytes) const {
    const QByteArray name = QFile::encodeName(path_);
    // Only ever a regular file: a FIFO or device in its place would block the
    // write or swallow it, and the records must then wait for the next save.
    RegularFile::Opened file = RegularFile::Open(name.constData(), O_WRONLY | O_APPEND);
    bool created = false;
    if (file.status == RegularFile::Status::Missing) {
        file = RegularFile::Open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL, 0600);
        created = file.status == RegularFile::Status::Ok;
    }
    const int fd = file.fd;
    if (fd < 0) return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0;
    const off_t before = ok ? info.st_size : 0;
    if (ok && before == 0 && !header.empty()) ok = FileIo::WriteAll(fd, header);
    for (std::string_view piece : pieces) {
        if (!ok) break;
        ok = WriteChunked(fd, piece, chunkBytes == 0 ? kDefaultChunk : chunkBytes);
    }
    // The records count as written only once they are on the disk.
    ok = ok && ::fdatasync(fd) == 0;
    if (!ok) {
        // Nothing of a failed append may stay: no torn or fused record.
        if (::ftruncate(fd, before) == 0) ::fdatasync(fd);
    }
    ::close(fd);
    if (ok && created) FileIo::SyncFolder(QFileInfo(path_).absolutePath());
    if (!ok && created && before == 0) ::unlink(name.constData());
    return ok;
}

std::size_t AppendOnlyFile::CutTornTail() const {
    const int fd = RegularFile::Open(path_, O_RDWR).fd;
    if (fd < 0) return 0;
    struct stat info {};
    std::size_t cut = 0;
    char last[2] = {};
    const bool whole = ::fstat(fd, &info) == 0 &&
                       (info.st_size == 0 || (::pread(fd, last, 2, info.st_size - 2) == 2 &&
                                              last[0] == '\r' && last[1] == '\n'));
    if (!whole && info.st_size > 0) {
        // Read backwards until a CR LF turns up (or the start of the file).
        constexpr off_t kStep = 64 * 1024;
        off_t end = info.st_size;
        off_t keep = 0;
        std::string tail;
        bool found = false;
        while (end > 0 && !found) {
            const off_t from = end > kStep ? end - kStep : 0;
            std::string block(static_cast<std::size_t>(end - from), '\0');
            if (::pread(fd, block.data(), block.size(), from) != ssize_t(block.size())) break;
            tail = block + tail;
            // tail starts at `from`; a CR LF may straddle the previous block.
            const std::size_t at = tail.rfind("\r\n");
            if (at != std::string::npos) {
                keep = from + static_cast<off_t>(at) + 2;
                found = true;
            }
            end = from;
            if (tail.size() > 16u * 1024 * 1024) break;  // no line is that long
        }
        if ((found || end == 0) && keep < info.st_size && ::ftruncate(fd, keep) == 0) {
            ::fdatasync(fd);
            cut = static_cast<std::size_t>(info.st_size - keep);
        }
    }
    ::close(fd);
    return cut;
}

}  // namespace platform
