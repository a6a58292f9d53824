#include "LogText.h"

std::string& LogText::TextOf(const QDate& day) {
    if (days_.empty() || days_.back().date != day) days_.push_back({day, {}});
    return days_.back().text;
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
    for (const Day& day : days) size_ += day.text.size();
    if (!days.empty() && !days_.empty() && days.back().date == days_.front().date) {
        days.back().text += days_.front().text;
        days_.pop_front();
    }
    for (Day& day : days_) days.push_back(std::move(day));
    days_.swap(days);
}

std::size_t LogText::MemoryBytes() const {
    std::size_t bytes = sizeof(*this);
    for (const Day& day : days_) bytes += sizeof(Day) + day.text.capacity();
    return bytes;
}

std::string LogText::ToString() const {
    std::string all;
    all.reserve(size_);
    for (const Day& day : days_) all += day.text;
    return all;
}
