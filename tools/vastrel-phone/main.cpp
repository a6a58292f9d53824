// vastrel-phone: rings, answers and hangs up calls on the simulated exchange,
// and blocks lines, for Vastrel running now or started later.
#include <QCoreApplication>
#include <iostream>
#include <string>
#include <vector>

#include "PhoneCommand.h"
#include "platform/Paths.h"

int main(int argc, char** argv) {
    // Raw argv bytes, taken before Qt sees them: names and numbers are
    // single-byte text, whatever the locale.
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    QCoreApplication app(argc, argv);
    const platform::Paths paths =
        platform::Paths::FromEnvironment(QCoreApplication::applicationDirPath());
    const auto config = platform::sim::ExchangeConfig::Load(paths.settingsDir);
    platform::sim::ExchangeStore store(platform::sim::ExchangeStore::DefaultPath(paths.runtimeDir));
    PhoneCommand command(config, store, std::cout, std::cerr);
    return command.Run(arguments);
}
