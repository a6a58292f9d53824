#pragma once
#include <QDateTime>
#include <QElapsedTimer>
#include <string>
#include <vector>

#include "core/OutLogModel.h"
#include "platform/tapi/Tapi32.h"

struct AppState;
class LineTimes;
class LogText;
namespace platform {
class Clock;
}

// One scan over the watched lines: each is opened with monitoring rights,
// asked for its calls and closed; the result is one list row and one
// data-log record per line.
class LineScanner {
public:
    LineScanner(AppState& state, platform::Tapi32& tapi, LineTimes& times, LogText& logText,
                const platform::Clock& clock);

    // Fills rows (reusing its strings) with one row per watched line.
    void ScanWatchedLines(std::vector<OutLogModel::Row>& rows);

    // The DWORD stored least significant byte first at offset; 0 when the
    // four bytes are not all inside the buffer.
    static platform::DWORD GetDWordAt(const std::vector<platform::BYTE>& buffer,
                                      std::size_t offset);

private:
    void TestLine(platform::DWORD device, int row, OutLogModel::Row& r);
    platform::DWORD CountCalls();
    const std::string& DateText();
    const std::string& TimeText();
    void RefreshStamp();

    AppState& state_;
    platform::Tapi32& tapi_;
    LineTimes& times_;
    LogText& logText_;
    const platform::Clock& clock_;
    std::vector<platform::BYTE> sizeQuery_;
    std::vector<platform::BYTE> callList_;
    // The date and time texts, built once per second of the clock.
    QDate scanDate_;
    qint64 scanStartMsecs_ = 0;
    QElapsedTimer scanTimer_;
    qint64 stampSecond_ = -1;
    std::string dateText_;
    std::string timeText_;
};
