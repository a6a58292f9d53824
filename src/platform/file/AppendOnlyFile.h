#pragma once
#include <QString>
#include <string_view>
#include <vector>

namespace platform {

// A log file that is only ever appended to in whole records (lines ended by
// CR LF). An append either lands completely and durably or leaves the file
// exactly as it was; a tail torn by a crash is cut back at the next start.
class AppendOnlyFile {
public:
    explicit AppendOnlyFile(QString path);

    // Writes the pieces one after another at the end of the file, in calls of
    // at most chunkBytes that each end just after a CR LF where the text
    // allows, then syncs the data (and the folder, for a new file). On any
    // failure the file is cut back to its old length. header is written first
    // when the file is new or empty.
    bool Append(const std::vector<std::string_view>& pieces, std::string_view header = {},
                std::size_t chunkBytes = kDefaultChunk) const;

    // Cuts a tail that does not end in CR LF back to just after the last one.
    // Returns the number of bytes cut (0 when the file is whole or missing).
    std::size_t CutTornTail() const;

    const QString& Path() const { return path_; }

    static constexpr std::size_t kDefaultChunk = 1 << 20;

private:
    QString path_;
};

}  // namespace platform
