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
    // The exchange lives in the user's private runtime folder; without one
    // there is no exchange to drive (and none in a shared folder).
    if (paths.runtimeDir.isEmpty()) {
        std::cerr << "vastrel-phone: no private runtime folder: "
                  << paths.runtimeProblem.toStdString() << "\n";
        return 1;
    }
    const auto telephony = platform::TelephonyConfig::Load(paths.settingsDir);
    platform::sim::ExchangeStore store(platform::sim::ExchangeStore::DefaultPath(paths.runtimeDir));
    PhoneCommand command(telephony, store, std::cout, std::cerr);
    return command.Run(arguments);
}
