#pragma once
#include <QDate>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

// The data-log records no save has written yet, grouped by the day of the
// scan that made them, so that each day's records reach that day's file even
// when the save that takes them runs after midnight. Written text is not kept:
// memory follows what is pending, not the whole day.
//
// A day's text is kept in blocks that are never reallocated: one growing
// string would copy all that is pending each time it doubles, and at 16 MiB
// that held a scan up for tens of milliseconds.
class LogText {
public:
    static constexpr std::size_t kBlockBytes = 1u << 20;
    // A block with less room than this left is not written into: a scan's
    // records never make one grow.
    static constexpr std::size_t kBlockRoom = 128u << 10;

    struct Day {
        QDate date;
        std::vector<std::string> blocks;
        std::size_t Size() const;
    };

    void Append(const QDate& day, std::string_view text);
    // write(std::string&) appends to the day's text in place.
    template <typename Write>
    void AppendWith(const QDate& day, Write&& write);
    std::size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    // Hands everything pending to a save.
    std::deque<Day> TakeAll();
    // A failed save gives its text back, in front of what came meanwhile.
    void PutBack(std::deque<Day> days);
    std::size_t MemoryBytes() const;
    std::string ToString() const;

private:
    std::string& TextOf(const QDate& day);

    std::deque<Day> days_;
    std::size_t size_ = 0;
};

template <typename Write>
void LogText::AppendWith(const QDate& day, Write&& write) {
    std::string& text = TextOf(day);
    const std::size_t before = text.size();
    write(text);
    size_ += text.size() - before;
}
