// A day of demo traffic on eight lines, compressed: the program runs on the
// simulated exchange with a clock that moves one second per timer tick. The
// data log must account for every scan and every credited second, the day
// must roll over once, and the log held in memory must not outgrow a day.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include <unistd.h>

#include "FakeClock.h"
#include "FakeDesktop.h"
#include "FakeMessageBoxes.h"
#include "FakeNotifyIcon.h"
#include "FakeSound.h"
#include "FakeWindowSystem.h"
#include "core/AppState.h"
#include "core/Services.h"
#include "core/frmVastrel.h"
#include "datalog/LogText.h"
#include "platform/desktop/ShellLinks.h"
#include "platform/profile/PrivateProfile.h"
#include "platform/registry/FileRegistry.h"
#include "platform/tapi/TapiFactory.h"

namespace {

constexpr int kLines = 8;
// From noon to noon.
const QTime kStart(12, 0, 0);
constexpr int kTicks = 86400;

// AddressSanitizer holds freed memory back in quarantine, so the resident
// size says nothing there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentSizeMeaningful = false;
#else
constexpr bool kResidentSizeMeaningful = true;
#endif

long ResidentKiB() {
    long pages = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) return 0;
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::string Duration(int seconds) {
    char text[64];
    std::snprintf(text, sizeof text, " %d h  %02d m  %02d s", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

struct DayProgram {
    QTemporaryDir root;
    platform::Paths paths = platform::Paths::UnderRoot(root.path());
    FakeClock clock{QDateTime(QDate(2026, 12, 5), kStart)};
    platform::FileRegistry registry{paths.stateDir + "/registry"};
    platform::PrivateProfile profile{paths.settingsDir};
    std::unique_ptr<platform::TapiService> tapi = MakeExchange();
    FakeWindowSystem windows;
    FakeNotifyIcon tray;
    FakeSound sound;
    FakeDesktop desktop;
    platform::ShellLinks links{paths.autostartDir};
    FakeMessageBoxes messages;
    Services services{registry, profile, *tapi,    windows, tray, sound,
                      desktop,  links,   messages, clock,   paths};
    AppState state;
    std::unique_ptr<frmVastrel> window;

    std::unique_ptr<platform::TapiService> MakeExchange() {
        platform::sim::ExchangeConfig config;
        config.lines = kLines;
        config.demoTraffic = true;
        config.seed = 7;
        return platform::CreateSimTapiService(config, paths, &clock);
    }
    static QByteArray ReadFileBytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

struct Record {
    int line = 0;
    bool online = false;
    int secondOfDay = 0;
    std::string timeOnline, total;
};

// Every line of the file must be a whole success record (or the blank line
// a save ends with).
std::vector<Record> ReadRecords(const QByteArray& log, int* torn) {
    std::vector<Record> records;
    for (const QByteArray& line : log.split('\n')) {
        const QByteArray text = line.endsWith('\r') ? line.chopped(1) : line;
        if (text.isEmpty()) continue;
        const QList<QByteArray> f = text.split('\t');
        if (f.size() != 6 || f[3].size() < 8) {
            ++*torn;
            continue;
        }
        const QByteArray clock = f[3].right(8);
        Record r;
        r.line = f[0].trimmed().toInt();
        r.online = f[2].trimmed() == "1";
        r.secondOfDay =
            QTime::fromString(QString::fromLatin1(clock), "HH:mm:ss").msecsSinceStartOfDay() / 1000;
        r.timeOnline = f[4].toStdString();
        r.total = f[5].toStdString();
        records.push_back(std::move(r));
    }
    return records;
}

TEST(DayRun, EveryScanIsLoggedTotalsAddUpAndTheDayRollsOverOnce) {
    QLocale::setDefault(QLocale::c());
    DayProgram p;
    QFile ini(p.paths.settingsDir + "/vastrel.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(
        "The following lines are required by Vastrel - do NOT edit or remove\r\n\r\n"
        "[Preferences]\r\nSave Data=60\r\nAppend Data=1\r\nSysTray Enabled=0\r\n"
        "Display Data=0\r\nAlarm=0\r\n");
    ini.close();

    p.window = std::make_unique<frmVastrel>(p.services, p.state);
    ASSERT_TRUE(p.window->Form_Load(""));
    ASSERT_EQ(p.state.session.numLineDevices, static_cast<platform::DWORD>(kLines));

    const long residentAtStart = ResidentKiB();
    long residentBeforeMidnight = 0;
    std::size_t logMemoryBeforeMidnight = 0;
    int rollovers = 0;
    float lastSum = 0;
    for (int tick = 0; tick < kTicks; ++tick) {
        p.clock.Advance(1);
        p.window->Timer1_Timer();
        // Telephony events (offered calls for In.log) come through the loop.
        if (tick % 8 == 0) QCoreApplication::processEvents();
        float sum = 0;
        for (float t : p.state.lineTable.totalTimeOnline) sum += t;
        if (sum < lastSum) ++rollovers;
        lastSum = sum;
        if (p.clock.Now().time() == QTime(23, 59, 58)) {
            residentBeforeMidnight = ResidentKiB();
            logMemoryBeforeMidnight = p.window->Log().Text().MemoryBytes();
        }
    }
    QCoreApplication::processEvents();
    const std::size_t logMemoryAtEnd = p.window->Log().Text().MemoryBytes();
    const long residentAtEnd = ResidentKiB();
    p.window->Form_Unload();

    EXPECT_EQ(rollovers, 1);
    // The rollover let go of the finished day's text, so the second half of
    // the run costs no more than the first.
    ASSERT_GT(logMemoryBeforeMidnight, 0u);
    EXPECT_LT(logMemoryAtEnd, logMemoryBeforeMidnight + 2 * LogText::kBlockSize);
    if (kResidentSizeMeaningful) {
        EXPECT_LT(residentAtEnd - residentBeforeMidnight, 24 * 1024) << "KiB";
        EXPECT_LT(residentAtEnd - residentAtStart, 200 * 1024) << "KiB";
    }

    int torn = 0;
    const std::vector<Record> records =
        ReadRecords(p.ReadFileBytes(p.paths.dataDir + "/DataLogs/Data.log"), &torn);
    EXPECT_EQ(torn, 0);
    // The scan of the start-up plus one per tick, each with every line.
    ASSERT_EQ(records.size(), static_cast<std::size_t>(kTicks + 1) * kLines);

    // Each scan credits one interval to a line seen online in a call that
    // began at a nonzero clock reading; the day's last scan ends the totals.
    struct Line {
        int callStart = -1;  // -1: no call; 0: a call first seen at 0.0
        int timeOnline = 0, total = 0, calls = 0;
    };
    std::map<int, Line> lines;
    int mismatches = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        EXPECT_EQ(r.line, static_cast<int>(i % kLines) + 1);
        Line& l = lines[r.line];
        if (r.online) {
            if (l.callStart <= 0) {
                if (l.callStart < 0) ++l.calls;
                l.callStart = r.secondOfDay;
            }
            if (l.callStart > 0) ++l.timeOnline, ++l.total;
        } else {
            l.callStart = -1;
            l.timeOnline = 0;
        }
        if (r.timeOnline != Duration(l.timeOnline) || r.total != Duration(l.total)) {
            if (++mismatches <= 5)
                ADD_FAILURE() << "record " << i << " at " << r.secondOfDay << ": " << r.timeOnline
                              << " /" << r.total << " expected " << Duration(l.timeOnline) << " /"
                              << Duration(l.total);
        }
        if (r.secondOfDay == 86399) l.total = 0;
    }
    EXPECT_EQ(mismatches, 0);
    int calls = 0;
    for (const auto& [line, l] : lines) {
        EXPECT_GT(l.calls, 0) << "line " << line;
        calls += l.calls;
    }
    EXPECT_GT(calls, kTicks / 60);
    EXPECT_TRUE(QFile::exists(p.paths.dataDir + "/In.log"));
}

}  // namespace
