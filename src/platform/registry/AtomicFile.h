#pragma once
#include <QString>
#include <string>

namespace platform {

// Whole-file reads, and replacements that no reader ever sees half done: the
// new content goes to a temporary file in the same folder, is synced to disk
// and then renamed over the old file.
class AtomicFile {
public:
    enum class ReadStatus { Ok, Missing, Failed };

    static ReadStatus ReadAll(const QString& path, std::string& content);

    // Keeps the old file's permissions; a symbolic link is followed, so the
    // file it points to is replaced rather than the link.
    static bool Replace(const QString& path, const std::string& content);
};

}  // namespace platform
