#pragma once
// The program's services on the simulated exchange, with fakes for the
// desktop, in a temporary folder: what every benchmark starts from.
#include <QTemporaryDir>

#include <memory>

#include "FakeClock.h"
#include "FakeDesktop.h"
#include "FakeMessageBoxes.h"
#include "FakeNotifyIcon.h"
#include "FakeSound.h"
#include "FakeWindowSystem.h"
#include "core/AppState.h"
#include "core/Services.h"
#include "platform/desktop/ShellLinks.h"
#include "platform/file/RegularFile.h"
#include "platform/profile/PrivateProfile.h"
#include "platform/registry/FileRegistry.h"
#include "platform/tapi/TapiFactory.h"

struct SimProgram {
    QTemporaryDir root;
    platform::Paths paths = platform::Paths::UnderRoot(root.path());
    FakeClock clock;
    std::unique_ptr<platform::TapiService> tapi;
    platform::FileRegistry registry{paths.stateDir + "/registry"};
    platform::PrivateProfile profile{paths.settingsDir};
    FakeWindowSystem windows;
    FakeNotifyIcon tray;
    FakeSound sound;
    FakeDesktop desktop;
    platform::ShellLinks links{paths.autostartDir};
    FakeMessageBoxes messages;
    Services services{registry, profile, *tapi,    windows, tray, sound,
                      desktop,  links,   messages, clock,   paths};
    AppState state;

    // Demo traffic follows the injected clock.
    explicit SimProgram(const platform::sim::ExchangeConfig& config,
                        QDateTime start = FakeClock().Now())
        : clock(start),
          tapi(platform::CreateSimTapiService(config, paths,
                                              config.demoTraffic ? &clock : nullptr)) {}
};
