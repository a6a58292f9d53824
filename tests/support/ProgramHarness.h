#pragma once
// A whole program on fake platform services in a temporary folder.
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "FakeClock.h"
#include "FakeDesktop.h"
#include "FakeMessageBoxes.h"
#include "FakeNotifyIcon.h"
#include "FakeSound.h"
#include "FakeTapi.h"
#include "FakeWindowSystem.h"
#include "core/AppState.h"
#include "core/Services.h"
#include "core/frmVastrel.h"
#include "platform/desktop/ShellLinks.h"
#include "platform/profile/PrivateProfile.h"
#include "platform/registry/FileRegistry.h"

struct ProgramHarness {
    QTemporaryDir root;
    platform::Paths paths = platform::Paths::UnderRoot(root.path());
    platform::FileRegistry registry{paths.stateDir + "/registry"};
    platform::PrivateProfile profile{paths.settingsDir};
    FakeTapi tapi;
    FakeWindowSystem windows;
    FakeNotifyIcon tray;
    FakeSound sound;
    FakeDesktop desktop;
    platform::ShellLinks links{paths.autostartDir};
    FakeMessageBoxes messages;
    FakeClock clock;
    Services services{registry, profile, tapi,     windows, tray, sound,
                      desktop,  links,   messages, clock,   paths};
    AppState state;
    std::unique_ptr<frmVastrel> window;

    explicit ProgramHarness(int lineCount = 3) {
        for (int i = 0; i < lineCount; ++i) tapi.lines.push_back({"Line " + std::to_string(i + 1)});
    }
    ~ProgramHarness() {
        if (window && !window->Unloaded()) window->Form_Unload();
    }

    // vastrel.ini with the header and the given "Key=value" lines.
    void WriteSettings(const QStringList& keys) {
        QFile f(paths.settingsDir + "/vastrel.ini");
        f.open(QIODevice::WriteOnly);
        f.write(
            "The following lines are required by Vastrel - do NOT edit or remove\r\n\r\n"
            "[Preferences]\r\n");
        for (const QString& k : keys) f.write(k.toLatin1() + "\r\n");
    }

    frmVastrel& Start(const std::string& command = "") {
        window = std::make_unique<frmVastrel>(services, state);
        started = window->Form_Load(command);
        return *window;
    }
    bool started = false;

    QString DataLogsFile(const QString& name) const { return paths.dataDir + "/DataLogs/" + name; }
    QByteArray ReadFile(const QString& path) const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};
