#include "DayReader.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <vector>

#include "usage/DayFigures.h"
#include "usage/OfferedCalls.h"

namespace {
// The position of the next CR LF from start; npos when there is none yet (a
// CR at the very end may have its LF in the next piece).
std::size_t NextCrLf(std::string_view text, std::size_t start) {
    const char* end = text.data() + text.size();
    const char* at = text.data() + start;
    while (at < end) {
        const void* cr = std::memchr(at, '\r', end - at);
        if (!cr) return std::string_view::npos;
        at = static_cast<const char*>(cr);
        if (at + 1 == end) return std::string_view::npos;
        if (at[1] == '\n') return at - text.data();
        ++at;
    }
    return std::string_view::npos;
}

// Hands every record in text (each follows a CR LF) to figures; returns where
// the unfinished last one begins, or the end when the text is the last.
std::size_t AddRecords(std::string_view text, DayFigures& figures, bool last) {
    std::size_t start = 0;
    for (std::size_t crlf = NextCrLf(text, 0); crlf != std::string_view::npos;
         crlf = NextCrLf(text, start)) {
        figures.Add(text.substr(start, crlf - start));
        start = crlf + 2;
    }
    if (!last) return start;
    figures.Add(text.substr(start));
    return text.size();
}
}  // namespace

DayReader::Result DayReader::Read(const Source& source, DayUsage& usage, const Progress& progress,
                                  const std::atomic<bool>* cancel) const {
    DayFigures figures(source.day, parser_);
    QFile file(source.dataLog);
    const bool found = QFileInfo(source.dataLog).isFile() && file.open(QIODevice::ReadOnly);
    qint64 total = found ? file.size() : 0;
    if (source.byteLimit >= 0) total = std::min(total, source.byteLimit);
    std::vector<char> buffer;
    std::size_t kept = 0;  // an unfinished record carried to the next piece
    qint64 done = 0;
    while (found && done < total) {
        if (cancel && cancel->load(std::memory_order_relaxed)) return Result::Cancelled;
        const qint64 want = std::min(kPieceBytes, total - done);
        buffer.resize(kept + static_cast<std::size_t>(want));
        const qint64 got = file.read(buffer.data() + kept, want);
        if (got <= 0) break;
        done += got;
        const std::string_view text(buffer.data(), kept + static_cast<std::size_t>(got));
        const std::size_t used = AddRecords(text, figures, done >= total);
        kept = text.size() - used;
        std::memmove(buffer.data(), buffer.data() + used, kept);
        if (progress) progress(done, total);
    }
    if (kept > 0) AddRecords(std::string_view(buffer.data(), kept), figures, true);
    AddRecords(source.unsavedText, figures, true);
    usage = figures.Finish();
    usage.found = found || !source.unsavedText.empty();
    if (!source.incomingLog.isEmpty())
        OfferedCalls::Match(OfferedCalls::Read(source.incomingLog, source.day), usage);
    if (progress) progress(total, total);
    return Result::Done;
}
