#include "DayFigures.h"

#include <algorithm>

namespace {
QDateTime At(const QDate& day, int seconds) {
    return QDateTime(day, QTime::fromMSecsSinceStartOfDay(seconds * 1000));
}

// "Sales desk,            " -> "Sales desk".
QString ShownName(std::string_view field) {
    QString name = QString::fromUtf8(field.data(), static_cast<qsizetype>(field.size()));
    while (name.endsWith(' ')) name.chop(1);
    if (name.endsWith(',')) name.chop(1);
    return name;
}
}  // namespace

DayFigures::DayFigures(QDate day, RecordParser parser) : parser_(std::move(parser)) {
    usage_.day = day;
}

std::size_t DayFigures::LineOf(int row, std::string_view nameField) {
    if (static_cast<std::size_t>(row) >= byRow_.size()) byRow_.resize(row + 1, 0);
    const std::size_t seen = byRow_[row];
    if (seen > 0 && nameFields_[seen - 1] == nameField) return seen - 1;
    // Another name in the row (the watched lines changed): another line,
    // unless it was there before.
    for (std::size_t i = 0; i < usage_.lines.size(); ++i) {
        if (usage_.lines[i].row == row && nameFields_[i] == nameField) {
            byRow_[row] = i + 1;
            return i;
        }
    }
    DayUsage::Line line;
    line.row = row;
    line.name = ShownName(nameField);
    usage_.lines.push_back(line);
    nameFields_.emplace_back(nameField);
    runs_.emplace_back();
    byRow_[row] = usage_.lines.size();
    return usage_.lines.size() - 1;
}

void DayFigures::Add(std::string_view text) {
    if (text.empty()) return;
    const std::optional<RecordParser::Record> r = parser_.Parse(text);
    if (!r) {
        ++usage_.damaged;
        return;
    }
    // Another day's records (Data.log holds them all) are not this day's.
    if (r->monitored && r->stamp.date != usage_.day) return;
    ++usage_.records;
    const std::size_t line = LineOf(r->row, r->nameField);
    if (!r->monitored) {
        ++usage_.lines[line].unmonitoredScans;
        EndRun(line);
    } else if (!r->online) {
        EndRun(line);
    } else {
        AddSuccess(line, *r);
    }
}

void DayFigures::AddSuccess(std::size_t line, const RecordParser::Record& r) {
    Run& run = runs_[line];
    const int now = r.stamp.seconds;
    // A time online that did not go up is a new call (the program
    // restarted during one). The first record of a call credits its time online, but
    // not more than the day had: a call from before midnight brings its own.
    if (run.open && r.timeOnline <= run.lastOnline) EndRun(line);
    int credit = run.open ? r.timeOnline - run.lastOnline : std::min(r.timeOnline, now + 1);
    if (!run.open) run = {true, now, now, 0, 0};
    run.last = now;
    run.lastOnline = r.timeOnline;
    run.seconds += credit;
    usage_.lines[line].hourSeconds[std::clamp(now / 3600, 0, 23)] += credit;
}

void DayFigures::EndRun(std::size_t line) {
    Run& run = runs_[line];
    if (!run.open) return;
    run.open = false;
    usage_.calls.push_back(
        {line, At(usage_.day, run.start), At(usage_.day, run.last), run.seconds, false, {}, {}});
}

DayUsage DayFigures::Finish() {
    for (std::size_t line = 0; line < runs_.size(); ++line) EndRun(line);
    std::stable_sort(
        usage_.calls.begin(), usage_.calls.end(),
        [](const DayUsage::Call& a, const DayUsage::Call& b) { return a.start < b.start; });
    for (const DayUsage::Call& call : usage_.calls) {
        DayUsage::Line& line = usage_.lines[call.line];
        ++line.calls;
        line.longestSeconds = std::max(line.longestSeconds, call.seconds);
    }
    for (DayUsage::Line& line : usage_.lines) {
        for (int h = 0; h < 24; ++h) {
            line.totalSeconds += line.hourSeconds[h];
            if (line.hourSeconds[h] > 0 &&
                (line.busiestHour < 0 || line.hourSeconds[h] > line.hourSeconds[line.busiestHour]))
                line.busiestHour = h;
        }
    }
    // Lines in row order; the calls follow their lines.
    std::vector<std::size_t> order(usage_.lines.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return usage_.lines[a].row < usage_.lines[b].row;
    });
    std::vector<std::size_t> place(order.size());
    std::vector<DayUsage::Line> sorted;
    for (std::size_t i = 0; i < order.size(); ++i) {
        place[order[i]] = i;
        sorted.push_back(std::move(usage_.lines[order[i]]));
    }
    usage_.lines = std::move(sorted);
    for (DayUsage::Call& call : usage_.calls) call.line = place[call.line];
    return std::move(usage_);
}
