#pragma once
#include <string>
#include <string_view>
#include <vector>

// The accumulated data-log text. Kept in fixed-size blocks so that a busy
// day (hundreds of thousands of records) costs little more than its bytes,
// and a save can hand out just the part not yet written.
class LogText {
public:
    static constexpr std::size_t kBlockSize = 1 << 20;

    void Append(std::string_view text);
    std::size_t Size() const { return size_; }
    std::size_t Written() const { return written_; }
    std::size_t Pending() const { return size_ - written_; }
    // Calls sink for each piece of the text not yet marked written.
    template <typename Sink>
    void ForEachPending(Sink&& sink) const;
    void MarkWritten() { written_ = size_; }
    // The midnight rollover: everything written is dropped; what no save
    // could write yet stays, so no record is lost.
    void DropWritten();
    std::size_t MemoryBytes() const;
    std::string ToString() const;

private:
    std::vector<std::string> blocks_;
    std::size_t size_ = 0;
    std::size_t written_ = 0;
};

template <typename Sink>
void LogText::ForEachPending(Sink&& sink) const {
    std::size_t offset = 0;
    for (const std::string& block : blocks_) {
        const std::size_t end = offset + block.size();
        if (end > written_) {
            const std::size_t from = written_ > offset ? written_ - offset : 0;
            sink(std::string_view(block).substr(from));
        }
        offset = end;
    }
}
