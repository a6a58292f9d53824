#pragma once
// One run of vastrel-phone: the command line turned into a change of (or a
// look at) the simulated exchange's shared state.
#include <iosfwd>
#include <string>
#include <vector>

#include "platform/tapi/TelephonyConfig.h"
#include "platform/tapi/sim/ExchangeConfig.h"
#include "platform/tapi/sim/ExchangeStore.h"

class PhoneCommand {
public:
    static constexpr int kOk = 0;
    static constexpr int kFailed = 1;
    static constexpr int kBadUsage = 2;

    PhoneCommand(const platform::TelephonyConfig& telephony, platform::sim::ExchangeStore& store,
                 std::ostream& out, std::ostream& err);

    // arguments: the raw bytes of argv without the program name; returns the exit code.
    int Run(const std::vector<std::string>& arguments);

    static std::string UsageText();

private:
    int Ring(const std::vector<std::string>& arguments);
    int Answer(platform::DWORD device);
    int Hangup(platform::DWORD device);
    int SetBlocked(platform::DWORD device, bool blocked);
    int ListCalls();
    // The 0-based device of a LINE argument, or false after reporting why not.
    bool ParseLine(const std::string& text, platform::DWORD* device);
    int Fail(const std::string& message, int code);

    std::string provider_;  // the one telephon.ini selects
    bool simulated_;        // only the simulated exchange can be driven
    platform::sim::ExchangeConfig config_;
    platform::sim::ExchangeStore& store_;
    std::ostream& out_;
    std::ostream& err_;
};
