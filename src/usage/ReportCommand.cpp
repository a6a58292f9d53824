#include "ReportCommand.h"

#include <QFileInfo>

#include "platform/Paths.h"
#include "platform/file/AtomicFile.h"
#include "usage/DayReader.h"
#include "usage/UsageCsv.h"
#include "usage/UsageSources.h"

namespace {
void Say(std::FILE* err, const QString& text) {
    std::fprintf(err, "vastrel: %s\n", text.toLocal8Bit().constData());
}

bool WriteAll(std::FILE* out, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
}
}  // namespace

std::optional<ReportCommand::Options> ReportCommand::Parse(const QStringList& arguments,
                                                           const QDate& today, QString& error) {
    Options options;
    options.day = today;
    bool dayGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == "--calls") {
            options.calls = true;
        } else if (a == "--output" && i + 1 < arguments.size() && !arguments[i + 1].isEmpty()) {
            options.output = arguments[++i];
        } else if (!dayGiven && !a.startsWith('-')) {
            options.day = QDate::fromString(a, Qt::ISODate);
            dayGiven = true;
            if (!options.day.isValid() || a.size() != 10) {
                error = "not a date (YYYY-MM-DD): " + a;
                return std::nullopt;
            }
        } else {
            error = "unexpected argument: " + a;
            return std::nullopt;
        }
    }
    return options;
}

int ReportCommand::Run(const QStringList& arguments, const platform::Paths& paths,
                       const QDate& today, std::FILE* out, std::FILE* err) {
    QString error;
    const std::optional<Options> options = Parse(arguments, today, error);
    if (!options) {
        Say(err, error + "\nUsage: vastrel --report [YYYY-MM-DD] [--calls] [--output FILE]");
        return 2;
    }
    const UsageSources sources(paths);
    DayReader::Source source;
    source.day = options->day;
    source.dataLog = sources.DataLogFor(options->day);
    source.incomingLog = sources.IncomingLog();
    DayUsage usage;
    DayReader().Read(source, usage);
    const QString day = options->day.toString(Qt::ISODate);
    if (!usage.found)
        Say(err, "no data log for " + day +
                     (source.dataLog.isEmpty() ? QString(" (no DataLogs folder)")
                                               : " (" + source.dataLog + ")") +
                     ": the report is empty");
    else if (usage.records == 0)
        Say(err, "no records of " + day + " in " + source.dataLog + ": the report is empty");
    if (usage.damaged > 0)
        Say(err,
            QString("%1 damaged record(s) skipped in %2").arg(usage.damaged).arg(source.dataLog));
    const std::string csv = options->calls ? usagecsv::Calls(usage) : usagecsv::Hourly(usage);
    if (options->output.isEmpty()) {
        if (WriteAll(out, csv)) return 0;
        Say(err, "could not write the report to standard output");
        return 1;
    }
    if (platform::AtomicFile::Replace(options->output, csv)) return 0;
    Say(err, "could not write " + options->output);
    return 1;
}

int ReportCommand::Main(int argc, char** argv, const QString& programDir) {
    QStringList arguments;
    for (int i = 2; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const platform::Paths paths = platform::Paths::FromEnvironment(programDir);
    return Run(arguments, paths, QDate::currentDate(), stdout, stderr);
}
