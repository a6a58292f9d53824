#pragma once
// Builds the telephony service the program runs against.
#include <memory>

#include "platform/Paths.h"
#include "platform/tapi/TapiService.h"
#include "platform/tapi/sim/ExchangeConfig.h"

namespace platform {

class Clock;

// Reads telephon.ini in paths.settingsDir (writing the starter file when there
// is none) and serves its provider: the simulated exchange for "sim", a
// Kamailio SIP server for "kamailio", no line devices for a provider this
// build does not know.
std::unique_ptr<Tapi32> CreateTapiService(const Paths& paths);

// A service over the simulated exchange configured in code, sharing its
// calls through the state file in paths.runtimeDir, where vastrel-phone and
// sim::ExchangeStore find them. Demo traffic follows demoClock when given.
std::unique_ptr<TapiService> CreateSimTapiService(const sim::ExchangeConfig& config,
                                                  const Paths& paths,
                                                  const Clock* demoClock = nullptr);

}  // namespace platform
