#include "TapiFactory.h"

#include "platform/tapi/NoLineProvider.h"
#include "platform/tapi/sim/ExchangeStore.h"
#include "platform/tapi/sim/SimExchange.h"

namespace platform {

std::unique_ptr<Tapi32> CreateTapiService(const Paths& paths) {
    sim::ExchangeConfig::CreateIfMissing(paths.settingsDir);
    const sim::ExchangeConfig config = sim::ExchangeConfig::Load(paths.settingsDir);
    if (config.provider != "sim") {
        return std::make_unique<TapiService>(std::make_unique<NoLineProvider>());
    }
    return CreateSimTapiService(config, paths);
}

std::unique_ptr<TapiService> CreateSimTapiService(const sim::ExchangeConfig& config,
                                                  const Paths& paths) {
    return std::make_unique<TapiService>(std::make_unique<sim::SimExchange>(
        config, sim::ExchangeStore::DefaultPath(paths.runtimeDir)));
}

}  // namespace platform
