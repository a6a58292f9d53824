#pragma once
#include <QString>
#include <cstddef>
#include <string>

namespace platform {

// Whole-file reads, and replacements that no reader ever sees half done: the
// new content goes to a temporary file in the same folder, is synced to disk
// and then renamed over the old file.
class AtomicFile {
public:
    enum class ReadStatus { Ok, Missing, Failed };

    // Failed also for anything but a regular file, and for one over kMaxBytes.
    static ReadStatus ReadAll(const QString& path, std::string& content);

    // The new file is private (0600), or narrower when the old one was; a
    // symbolic link is followed, so the file it points to is replaced rather
    // than the link. Fails when something other than a regular file is there.
    static bool Replace(const QString& path, const std::string& content);

    // Far beyond any settings file or registry store the program writes.
    static constexpr std::size_t kMaxBytes = 256u << 20;
};

}  // namespace platform
