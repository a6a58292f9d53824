#include "TapiFactory.h"

#include "platform/tapi/NoLineProvider.h"
#include "platform/tapi/kamailio/KamailioConfig.h"
#include "platform/tapi/kamailio/KamailioProvider.h"
#include "platform/tapi/sim/ExchangeStore.h"
#include "platform/tapi/sim/SimExchange.h"

namespace platform {

std::unique_ptr<Tapi32> CreateTapiService(const Paths& paths) {
    sim::ExchangeConfig::CreateIfMissing(paths.settingsDir);
    const sim::ExchangeConfig config = sim::ExchangeConfig::Load(paths.settingsDir);
    if (QString::fromStdString(config.provider).compare("kamailio", Qt::CaseInsensitive) == 0) {
        return std::make_unique<TapiService>(std::make_unique<kamailio::KamailioProvider>(
            kamailio::KamailioConfig::Load(paths.settingsDir)));
    }
    if (config.provider != "sim") {
        return std::make_unique<TapiService>(std::make_unique<NoLineProvider>());
    }
    return CreateSimTapiService(config, paths);
}

std::unique_ptr<TapiService> CreateSimTapiService(const sim::ExchangeConfig& config,
                                                  const Paths& paths, const Clock* demoClock) {
    return std::make_unique<TapiService>(std::make_unique<sim::SimExchange>(
        config, sim::ExchangeStore::DefaultPath(paths.runtimeDir), demoClock));
}

}  // namespace platform
