#include "LogText.h"

void LogText::Append(std::string_view text) {
    while (!text.empty()) {
        if (blocks_.empty() || blocks_.back().size() == kBlockSize) {
            blocks_.emplace_back();
            blocks_.back().reserve(kBlockSize);
        }
        std::string& block = blocks_.back();
        const std::size_t room = kBlockSize - block.size();
        const std::size_t n = text.size() < room ? text.size() : room;
        block.append(text.substr(0, n));
        text.remove_prefix(n);
        size_ += n;
    }
}

void LogText::DropWritten() {
    std::string rest;
    ForEachPending([&](std::string_view piece) { rest.append(piece); });
    blocks_.clear();
    size_ = 0;
    written_ = 0;
    Append(rest);
}

std::size_t LogText::MemoryBytes() const {
    std::size_t bytes = sizeof(*this) + blocks_.capacity() * sizeof(std::string);
    for (const std::string& block : blocks_) bytes += block.capacity();
    return bytes;
}

std::string LogText::ToString() const {
    std::string all;
    all.reserve(size_);
    for (const std::string& block : blocks_) all += block;
    return all;
}
