#include "TapiFactory.h"

#include "platform/tapi/NoLineProvider.h"
#include "platform/tapi/TelephonyConfig.h"
#include "platform/tapi/kamailio/KamailioConfig.h"
#include "platform/tapi/kamailio/KamailioProvider.h"
#include "platform/tapi/sim/ExchangeStore.h"
#include "platform/tapi/sim/SimExchange.h"
#include "platform/tapi/sip/SipConfig.h"
#include "platform/tapi/sip/SipProvider.h"

namespace platform {

std::unique_ptr<Tapi32> CreateTapiService(const Paths& paths) {
    sim::ExchangeConfig::CreateIfMissing(paths.settingsDir);
    const TelephonyConfig config = TelephonyConfig::Load(paths.settingsDir);
    if (config.ProviderIs("kamailio")) {
        return std::make_unique<TapiService>(
            std::make_unique<kamailio::KamailioProvider>(config.Kamailio()));
    }
    if (config.ProviderIs("sip")) {
        return std::make_unique<TapiService>(std::make_unique<sip::SipProvider>(config.Sip()));
    }
    if (config.ProviderIs("sim")) return CreateSimTapiService(config.Exchange(), paths);
    return std::make_unique<TapiService>(std::make_unique<NoLineProvider>());
}

std::unique_ptr<TapiService> CreateSimTapiService(const sim::ExchangeConfig& config,
                                                  const Paths& paths, const Clock* demoClock) {
    return std::make_unique<TapiService>(std::make_unique<sim::SimExchange>(
        config, sim::ExchangeStore::DefaultPath(paths.runtimeDir), demoClock));
}

}  // namespace platform
