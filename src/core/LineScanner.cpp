#include "LineScanner.h"

#include <algorithm>
#include <charconv>

#include "core/AppState.h"
#include "core/LineTimes.h"
#include "datalog/DataLogRecord.h"
#include "datalog/LogText.h"
#include "platform/clock/Clock.h"

using namespace platform;

namespace {
// A provider asking for more than this for a call list is not believed.
constexpr DWORD kMaxCallListSize = 1 << 20;
}  // namespace

LineScanner::LineScanner(AppState& state, Tapi32& tapi, LineTimes& times, LogText& logText,
                         const Clock& clock)
    : state_(state), tapi_(tapi), times_(times), logText_(logText), clock_(clock) {}

DWORD LineScanner::GetDWordAt(const std::vector<BYTE>& buffer, std::size_t offset) {
    if (offset + 4 > buffer.size()) return 0;
    return ReadDword(buffer.data(), static_cast<DWORD>(buffer.size()), static_cast<DWORD>(offset));
}

void LineScanner::ScanWatchedLines(std::vector<OutLogModel::Row>& rows) {
    // Only devices the line table has entries for take part.
    const std::size_t entries = state_.lineTable.Size();
    const DWORD devices =
        entries == 0
            ? 0
            : static_cast<DWORD>(std::min<std::size_t>(state_.session.numLineDevices, entries - 1));
    const std::vector<bool> watched = LineTable::WatchedDevices(state_.settings.lines, devices);
    const QDateTime start = clock_.Now();
    scanDate_ = start.date();
    scanStartMsecs_ = start.time().msecsSinceStartOfDay();
    scanTimer_.start();
    std::size_t row = 0;
    for (DWORD d = 0; d < devices; ++d) {
        if (!watched[d]) continue;
        if (row == rows.size()) rows.emplace_back();
        TestLine(d, static_cast<int>(row + 1), rows[row]);
        ++row;
    }
    rows.resize(row);
}

DWORD LineScanner::CountCalls() {
    sizeQuery_.assign(linecalllist::kFixedSize, 0);
    WriteDword(sizeQuery_.data(), linecalllist::kFixedSize, linecalllist::dwTotalSize,
               linecalllist::kFixedSize);
    state_.session.lastResult =
        tapi_.lineGetNewCalls(state_.session.hLine, 0, LINECALLSELECT_LINE, sizeQuery_.data());
    DWORD needed = GetDWordAt(sizeQuery_, linecalllist::dwNeededSize);
    if (needed > kMaxCallListSize) needed = kMaxCallListSize;
    callList_.assign(needed, 0);
    if (needed >= 4) WriteDword(callList_.data(), needed, linecalllist::dwTotalSize, needed);
    if (needed >= linecalllist::kFixedSize)
        state_.session.lastResult =
            tapi_.lineGetNewCalls(state_.session.hLine, 0, LINECALLSELECT_LINE, callList_.data());
    return GetDWordAt(callList_, linecalllist::dwCallsNumEntries);
}

void LineScanner::TestLine(DWORD d, int row, OutLogModel::Row& r) {
    TapiSession& s = state_.session;
    LineTable& table = state_.lineTable;
    s.lastResult = tapi_.lineOpen(s.hLineApp, d, &s.hLine, s.apiVersion, 0, 0,
                                  LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_DATAMODEM, nullptr);
    const bool opened = s.lastResult == 0;
    char number[16];
    const auto numberEnd = std::to_chars(number, number + sizeof number, d + 1).ptr;
    if (!opened) {
        r[0].assign(1, '*').append(number, numberEnd);
        logText_.Append(scanDate_, datalogrecord::Failure(row, table.lineNames[d]));
        for (int c : {2, 3, 4}) r[c].clear();
    } else {
        const std::uint8_t state = CountCalls() > 0 ? 1 : 0;
        times_.UpdateLineTimes(state, d);
        logText_.AppendWith(scanDate_, [&](std::string& out) {
            datalogrecord::AppendSuccess(out, row, table.lineNames[d], state, DateText(),
                                         TimeText(), times_.timeOnlineText,
                                         times_.totalTimeOnlineText);
        });
        r[0].assign(number, numberEnd);
        r[2].assign(1, state == 1 ? '1' : '0');
        r[3] = times_.timeOnlineText;
        r[4] = times_.totalTimeOnlineText;
    }
    r[1] = table.lineNames[d];
    r[5] = table.lineAlarm[d];
    if (opened) tapi_.lineClose(s.hLine);
}

void LineScanner::RefreshStamp() {
    // The moment each line is tested, counted on from the scan's start: the
    // clock's own reading costs a time-zone lookup per call.
    const qint64 msecs = scanStartMsecs_ + scanTimer_.elapsed();
    const qint64 second = scanDate_.toJulianDay() * 86400 + msecs / 1000;
    if (second == stampSecond_) return;
    stampSecond_ = second;
    const QDate date = scanDate_.addDays(msecs / 86'400'000);
    const QDateTime now(date,
                        QTime::fromMSecsSinceStartOfDay(static_cast<int>(msecs % 86'400'000)));
    // Locale texts may hold any script (day periods, for one): UTF-8 keeps them.
    dateText_ = platform::Clock::DateText(now).toUtf8().toStdString();
    timeText_ = platform::Clock::TimeText(now).toUtf8().toStdString();
}

const std::string& LineScanner::DateText() {
    RefreshStamp();
    return dateText_;
}

const std::string& LineScanner::TimeText() {
    RefreshStamp();
    return timeText_;
}
