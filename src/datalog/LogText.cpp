#include "LogText.h"

std::size_t LogText::Day::Size() const {
    std::size_t size = 0;
    for (const std::string& block : blocks) size += block.size();
    return size;
}

std::string& LogText::TextOf(const QDate& day) {
    if (days_.empty() || days_.back().date != day) days_.push_back({day, {}});
    std::vector<std::string>& blocks = days_.back().blocks;
    if (blocks.empty() || blocks.back().size() + kBlockRoom > kBlockBytes) {
        blocks.emplace_back();
        blocks.back().reserve(kBlockBytes);
    }
    return blocks.back();
}

void LogText::Append(const QDate& day, std::string_view text) {
    TextOf(day).append(text);
    size_ += text.size();
}

std::deque<LogText::Day> LogText::TakeAll() {
    std::deque<Day> all;
    all.swap(days_);
    size_ = 0;
    return all;
}

void LogText::PutBack(std::deque<Day> days) {
    for (const Day& day : days) size_ += day.Size();
    if (!days.empty() && !days_.empty() && days.back().date == days_.front().date) {
        std::vector<std::string>& blocks = days.back().blocks;
        for (std::string& block : days_.front().blocks) blocks.push_back(std::move(block));
        days_.pop_front();
    }
    for (Day& day : days_) days.push_back(std::move(day));
    days_.swap(days);
}

std::size_t LogText::MemoryBytes() const {
    std::size_t bytes = sizeof(*this);
    for (const Day& day : days_) {
        bytes += sizeof(Day);
        for (const std::string& block : day.blocks) bytes += sizeof(block) + block.capacity();
    }
    return bytes;
}

std::string LogText::ToString() const {
    std::string all;
    all.reserve(size_);
    for (const Day& day : days_)
        for (const std::string& block : day.blocks) all += block;
    return all;
}
