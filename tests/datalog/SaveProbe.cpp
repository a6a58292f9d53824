// A process that makes one large save of numbered records and exits: the
// kill-during-save test runs it under strace, which kills it between two
// writes. Usage: datalog_save_probe DIR MEGABYTES
#include <QCoreApplication>
#include <cstdio>
#include <string>

#include "FakeClock.h"
#include "datalog/DataLog.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) return 2;
    FakeClock clock;
    Settings settings;
    settings.appendData = 1;
    LineTable table;
    double lastSave = 0;
    DataLog log(settings, clock, QString::fromLocal8Bit(argv[1]), table, lastSave);
    const std::size_t bytes = std::stoul(argv[2]) << 20;
    for (int n = 1; log.Text().Size() < bytes; ++n) {
        std::string record = "\r\n " + std::to_string(n) + "\t";
        record.resize(96, 'x');
        log.Text().Append(clock.Now().date(), record);
    }
    log.SaveDataLog();
    return log.Flush() ? 0 : 1;
}
