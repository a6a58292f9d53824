#include "PhoneCommand.h"

#include <algorithm>
#include <charconv>
#include <ostream>

#include "platform/tapi/EscapedText.h"

using platform::DWORD;
using platform::EscapedText;
using platform::sim::ExchangeState;

PhoneCommand::PhoneCommand(const platform::TelephonyConfig& telephony,
                           platform::sim::ExchangeStore& store, std::ostream& out,
                           std::ostream& err)
    : provider_(telephony.Provider()),
      simulated_(telephony.ProviderIs("sim")),
      config_(telephony.Exchange()),
      store_(store),
      out_(out),
      err_(err) {}

std::string PhoneCommand::UsageText() {
    return "Usage: vastrel-phone COMMAND [ARGUMENTS]\n"
           "Drives the simulated telephone exchange that Vastrel monitors.\n"
           "\n"
           "  ring LINE [--number NUM] [--name NAME] [--escaped]\n"
           "                  offer a call on LINE; every ring adds one more call\n"
           "  answer LINE     connect the ringing calls on LINE\n"
           "  hangup LINE     end every call on LINE\n"
           "  block LINE      make Vastrel's lineOpen of LINE fail\n"
           "  unblock LINE    let lineOpen of LINE succeed again\n"
           "  calls           list the calls, one a line: LINE, STATE, NUMBER, NAME\n"
           "                  separated by tabs (control bytes shown as \\xHH)\n"
           "  --help          show this text\n"
           "\n"
           "LINE is a line number from 1 to Lines= in telephon.ini.\n"
           "--escaped reads NUM and NAME with the escapes \\xHH, \\t and \\\\.\n"
           "Exit status: 0 done, 1 nothing to do or the state could not be written,\n"
           "2 bad usage or a line that does not exist.\n";
}

int PhoneCommand::Fail(const std::string& message, int code) {
    err_ << "vastrel-phone: " << message << "\n";
    if (code == kBadUsage) err_ << "Try 'vastrel-phone --help'.\n";
    return code;
}

int PhoneCommand::Run(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return Fail("no command given", kBadUsage);
    const std::string& command = arguments.front();
    if (command == "--help" || command == "-h" || command == "help") {
        out_ << UsageText();
        return kOk;
    }
    if (!simulated_) {
        return Fail("telephon.ini selects the provider '" + provider_ +
                        "'; only the simulated exchange (sim) can be driven",
                    kFailed);
    }
    if (command == "calls") {
        if (arguments.size() != 1) return Fail("'calls' takes no arguments", kBadUsage);
        return ListCalls();
    }
    if (command == "ring") return Ring({arguments.begin() + 1, arguments.end()});
    if (command != "answer" && command != "hangup" && command != "block" && command != "unblock")
        return Fail("unknown command '" + command + "'", kBadUsage);
    if (arguments.size() != 2) return Fail("'" + command + "' takes one LINE", kBadUsage);
    DWORD device = 0;
    if (!ParseLine(arguments[1], &device)) return kBadUsage;
    if (command == "answer") return Answer(device);
    if (command == "hangup") return Hangup(device);
    return SetBlocked(device, command == "block");
}

bool PhoneCommand::ParseLine(const std::string& text, DWORD* device) {
    unsigned long long line = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), line);
    const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || (error != std::errc() && error != std::errc::result_out_of_range)) {
        Fail("'" + text + "' is not a line number", kBadUsage);
        return false;
    }
    if (config_.lines == 0) {
        Fail("the exchange has no lines (Lines=0 in telephon.ini)", kBadUsage);
        return false;
    }
    if (error == std::errc::result_out_of_range || line < 1 || line > config_.lines) {
        Fail("line " + text + " does not exist: lines are 1 to " + std::to_string(config_.lines),
             kBadUsage);
        return false;
    }
    *device = static_cast<DWORD>(line - 1);
    return true;
}

int PhoneCommand::Ring(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return Fail("'ring' needs a LINE", kBadUsage);
    DWORD device = 0;
    if (!ParseLine(arguments.front(), &device)) return kBadUsage;
    std::string number;
    std::string name;
    bool escaped = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--escaped") {
            escaped = true;
            continue;
        }
        const std::size_t equals = option.find('=');
        const std::string key = option.substr(0, equals);
        std::string* target = key == "--number" ? &number : key == "--name" ? &name : nullptr;
        if (target == nullptr) return Fail("unknown option '" + option + "' for 'ring'", kBadUsage);
        if (equals != std::string::npos) {
            *target = option.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            *target = arguments[++i];
        } else {
            return Fail(option + " needs a value", kBadUsage);
        }
    }
    if (escaped) {
        number = EscapedText::Unescape(number);
        name = EscapedText::Unescape(name);
    }
    const bool written =
        store_.Update([&](ExchangeState& state) { state.Ring(device, number, name); });
    return written ? kOk : Fail("cannot write " + store_.Path().toStdString(), kFailed);
}

int PhoneCommand::Answer(DWORD device) {
    int answered = 0;
    if (!store_.Update([&](ExchangeState& state) { answered = state.AnswerOn(device); }))
        return Fail("cannot write " + store_.Path().toStdString(), kFailed);
    if (answered == 0)
        return Fail("no ringing call on line " + std::to_string(device + 1), kFailed);
    return kOk;
}

int PhoneCommand::Hangup(DWORD device) {
    int ended = 0;
    if (!store_.Update([&](ExchangeState& state) { ended = state.HangupOn(device); }))
        return Fail("cannot write " + store_.Path().toStdString(), kFailed);
    if (ended == 0) return Fail("no call on line " + std::to_string(device + 1), kFailed);
    return kOk;
}

int PhoneCommand::SetBlocked(DWORD device, bool blocked) {
    if (!store_.Update([&](ExchangeState& state) { state.SetBlocked(device, blocked); }))
        return Fail("cannot write " + store_.Path().toStdString(), kFailed);
    return kOk;
}

int PhoneCommand::ListCalls() {
    store_.Refresh();
    std::vector<const platform::sim::SimCall*> calls;
    for (const auto& sim : store_.State().Calls()) calls.push_back(&sim);
    std::stable_sort(calls.begin(), calls.end(),
                     [](const auto* a, const auto* b) { return a->call.device < b->call.device; });
    for (const auto* sim : calls) {
        out_ << sim->call.device + 1 << '\t'
             << (sim->call.state == platform::LINECALLSTATE_CONNECTED ? "connected" : "offering")
             << '\t' << EscapedText::Escape(sim->call.number) << '\t'
             << EscapedText::Escape(sim->call.name) << '\n';
    }
    if (calls.empty()) err_ << "no calls\n";
    return kOk;
}
