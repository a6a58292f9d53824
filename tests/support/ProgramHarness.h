#pragma once
// A whole program in a temporary folder: the real telephony service over the
// simulated exchange (recorded), fakes for the clock and the desktop. Tests,
// the day run and the benchmarks build it the same way.
#include <QFile>
#include <QTemporaryDir>

#include "FakeClock.h"
#include "FakeDesktop.h"
#include "FakeMessageBoxes.h"
#include "FakeNotifications.h"
#include "FakeNotifyIcon.h"
#include "FakeSound.h"
#include "FakeWindowSystem.h"
#include "RecordingTapi.h"
#include "core/Program.h"
#include "core/Services.h"
#include "platform/desktop/ShellLinks.h"
#include "platform/profile/PrivateProfile.h"
#include "platform/registry/FileRegistry.h"

struct ProgramHarness {
    QTemporaryDir root;
    platform::Paths paths = platform::Paths::UnderRoot(root.path());
    platform::FileRegistry registry{paths.stateDir + "/registry"};
    platform::PrivateProfile profile{paths.settingsDir};
    FakeClock clock;
    RecordingTapi tapi;
    FakeWindowSystem windows;
    FakeNotifyIcon tray;
    FakeSound sound;
    FakeDesktop desktop;
    platform::ShellLinks links{paths.autostartDir};
    FakeMessageBoxes messages;
    FakeNotifications notifications;
    Services services{registry, profile, tapi,  windows,  tray,  notifications,
                      sound,    desktop, links, messages, clock, paths};
    Program program{services};
    AppState& state = program.State();

    explicit ProgramHarness(int lineCount = 3) : ProgramHarness(Lines(lineCount)) {}
    // Demo traffic, when the exchange makes it, keeps time with the fake clock.
    explicit ProgramHarness(const platform::sim::ExchangeConfig& config,
                            QDateTime start = FakeClock().Now())
        : clock(start), tapi(config, paths, config.demoTraffic ? &clock : nullptr) {}

    // vastrel.ini with the header and the given "Key=value" lines.
    void WriteSettings(const QStringList& keys) {
        QFile f(paths.settingsDir + "/vastrel.ini");
        f.open(QIODevice::WriteOnly);
        f.write(
            "The following lines are required by Vastrel - do NOT edit or remove\r\n\r\n"
            "[Preferences]\r\n");
        for (const QString& k : keys) f.write(k.toLatin1() + "\r\n");
    }

    static platform::sim::ExchangeConfig Lines(int count) {
        platform::sim::ExchangeConfig config;
        config.lines = static_cast<platform::DWORD>(count);
        return config;
    }

    QString DataLogsFile(const QString& name) const { return paths.dataDir + "/DataLogs/" + name; }
    QByteArray ReadFile(const QString& path) const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};
