#pragma once
#include <QDate>
#include <QStringList>
#include <cstdio>
#include <optional>

namespace platform {
struct Paths;
}

// vastrel --report [YYYY-MM-DD] [--calls] [--output FILE]: a day's figures as
// CSV from the files alone, beside a running copy or from cron. It takes no
// lock, starts no telephony and writes nothing but its output.
class ReportCommand {
public:
    struct Options {
        QDate day;
        bool calls = false;
        QString output;  // empty: standard output
    };

    // arguments: what follows "--report". Nothing when they are not valid.
    static std::optional<Options> Parse(const QStringList& arguments, const QDate& today,
                                        QString& error);
    // The exit status: 0 written (also an empty report), 1 not written, 2 bad
    // arguments. Notes (no data log, damaged records) go to err.
    // The command from main(): argv[1] is "--report".
    static int Main(int argc, char** argv, const QString& programDir);
    static int Run(const QStringList& arguments, const platform::Paths& paths, const QDate& today,
                   std::FILE* out, std::FILE* err);
};
