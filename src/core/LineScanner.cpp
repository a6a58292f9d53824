#include "LineScanner.h"

#include <algorithm>

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

std::vector<OutLogModel::Row> LineScanner::ScanWatchedLines() {
    // Only devices the line table has entries for take part.
    const std::size_t entries = state_.lineTable.Size();
    const DWORD devices =
        entries == 0
            ? 0
            : static_cast<DWORD>(std::min<std::size_t>(state_.session.numLineDevices, entries - 1));
    const std::vector<bool> watched = LineTable::WatchedDevices(state_.settings.lines, devices);
    std::vector<OutLogModel::Row> rows;
    rows.reserve(devices);
    const QDateTime start = clock_.Now();
    scanDate_ = start.date();
    scanStartMsecs_ = start.time().msecsSinceStartOfDay();
    scanTimer_.start();
    int row = 0;
    for (DWORD d = 0; d < devices; ++d) {
        if (watched[d]) rows.push_back(TestLine(d, ++row));
    }
    return rows;
}

DWORD LineScanner::CountCalls() {
    std::vector<BYTE> sizeQuery(linecalllist::kFixedSize, 0);
    WriteDword(sizeQuery.data(), linecalllist::kFixedSize, linecalllist::dwTotalSize,
               linecalllist::kFixedSize);
    state_.session.lastResult =
        tapi_.lineGetNewCalls(state_.session.hLine, 0, LINECALLSELECT_LINE, sizeQuery.data());
    DWORD needed = GetDWordAt(sizeQuery, linecalllist::dwNeededSize);
    if (needed > kMaxCallListSize) needed = kMaxCallListSize;
    callList_.assign(needed, 0);
    if (needed >= 4) WriteDword(callList_.data(), needed, linecalllist::dwTotalSize, needed);
    if (needed >= linecalllist::kFixedSize)
        state_.session.lastResult =
            tapi_.lineGetNewCalls(state_.session.hLine, 0, LINECALLSELECT_LINE, callList_.data());
    return GetDWordAt(callList_, linecalllist::dwCallsNumEntries);
}

OutLogModel::Row LineScanner::TestLine(DWORD d, int row) {
    TapiSession& s = state_.session;
    LineTable& table = state_.lineTable;
    s.lastResult = tapi_.lineOpen(s.hLineApp, d, &s.hLine, s.apiVersion, 0, 0,
                                  LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_DATAMODEM, nullptr);
    const bool opened = s.lastResult == 0;
    const std::string number = std::to_string(d + 1);
    OutLogModel::Row r;
    if (!opened) {
        r[0] = std::string(1, '*').append(number);
        logText_.Append(scanDate_, datalogrecord::Failure(row, table.lineNames[d]));
    } else {
        const std::uint8_t state = CountCalls() > 0 ? 1 : 0;
        times_.UpdateLineTimes(state, d);
        logText_.Append(scanDate_, datalogrecord::Success(row, table.lineNames[d], state, DateText(),
                                               TimeText(), times_.timeOnlineText,
                                               times_.totalTimeOnlineText));
        r[0] = number;
        r[2].assign(1, state == 1 ? '1' : '0');
        r[3] = times_.timeOnlineText;
        r[4] = times_.totalTimeOnlineText;
    }
    r[1] = table.lineNames[d];
    r[5] = table.lineAlarm[d];
    if (opened) tapi_.lineClose(s.hLine);
    return r;
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
    dateText_ = platform::Clock::DateText(now).toLatin1().toStdString();
    timeText_ = platform::Clock::TimeText(now).toLatin1().toStdString();
}

const std::string& LineScanner::DateText() {
    RefreshStamp();
    return dateText_;
}

const std::string& LineScanner::TimeText() {
    RefreshStamp();
    return timeText_;
}
