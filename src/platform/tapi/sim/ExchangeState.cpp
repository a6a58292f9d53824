#include "ExchangeState.h"

#include <QRandomGenerator>
#include <algorithm>
#include <charconv>

#include "platform/Utf8Text.h"
#include "platform/tapi/EscapedText.h"

namespace platform::sim {
namespace {

constexpr std::string_view kHeader = "vastrel-exchange 1";

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    while (true) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos) return fields;
        line.remove_prefix(tab + 1);
    }
}

template <typename T>
bool ReadNumber(std::string_view text, T* value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

const char* StateText(DWORD state) {
    return state == LINECALLSTATE_CONNECTED ? "connected" : "offering";
}

}  // namespace

ExchangeState::ExchangeState()
    : nextId_((static_cast<CallId>(QRandomGenerator::global()->generate()) << 16) + 1) {}

CallId ExchangeState::Ring(DWORD device, std::string_view number, std::string_view name,
                           std::int64_t owner) {
    SimCall sim;
    sim.call.id = nextId_++;
    sim.call.device = device;
    sim.call.state = LINECALLSTATE_OFFERING;
    // Whoever rings, the exchange hands over UTF-8 only.
    sim.call.number = Utf8Text::Repaired(number);
    sim.call.name = Utf8Text::Repaired(name);
    sim.owner = owner;
    calls_.push_back(std::move(sim));
    Reindex();
    return calls_.back().call.id;
}

int ExchangeState::AnswerOn(DWORD device) {
    int count = 0;
    for (SimCall& sim : calls_) {
        if (sim.call.device == device && sim.call.state == LINECALLSTATE_OFFERING) {
            sim.call.state = LINECALLSTATE_CONNECTED;
            ++count;
        }
    }
    return count;
}

int ExchangeState::HangupOn(DWORD device) {
    return EndIf([device](const SimCall& sim) { return sim.call.device == device; });
}

bool ExchangeState::Answer(CallId id) {
    const auto it = byId_.find(id);
    if (it == byId_.end()) return false;
    calls_[it->second].call.state = LINECALLSTATE_CONNECTED;
    return true;
}

bool ExchangeState::End(CallId id) {
    return EndIf([id](const SimCall& sim) { return sim.call.id == id; }) > 0;
}

int ExchangeState::EndIf(const std::function<bool(const SimCall&)>& predicate) {
    const auto removed = std::erase_if(calls_, predicate);
    if (removed > 0) Reindex();
    return static_cast<int>(removed);
}

void ExchangeState::SetBlocked(DWORD device, bool blocked) {
    if (blocked) {
        blocked_.insert(device);
    } else {
        blocked_.erase(device);
    }
}

const std::vector<CallId>& ExchangeState::CallsOn(DWORD device) const {
    static const std::vector<CallId> kNone;
    const auto it = byDevice_.find(device);
    return it == byDevice_.end() ? kNone : it->second;
}

const SimCall* ExchangeState::Find(CallId id) const {
    const auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : &calls_[it->second];
}

void ExchangeState::Reindex() {
    byDevice_.clear();
    byId_.clear();
    for (std::size_t i = 0; i < calls_.size(); ++i) {
        byDevice_[calls_[i].call.device].push_back(calls_[i].call.id);
        byId_[calls_[i].call.id] = i;
    }
}

std::string ExchangeState::Serialize() const {
    std::string out(kHeader);
    out += "\nnext\t" + std::to_string(nextId_) + "\n";
    std::vector<DWORD> blocked(blocked_.begin(), blocked_.end());
    std::sort(blocked.begin(), blocked.end());
    for (const DWORD device : blocked) out += "blocked\t" + std::to_string(device + 1) + "\n";
    for (const SimCall& sim : calls_) {
        out += "call\t" + std::to_string(sim.call.id) + "\t" + std::to_string(sim.call.device + 1) +
               "\t" + StateText(sim.call.state) + "\t" + std::to_string(sim.owner) + "\t" +
               EscapedText::Escape(sim.call.number) + "\t" + EscapedText::Escape(sim.call.name) +
               "\n";
    }
    return out;
}

ExchangeState ExchangeState::Parse(std::string_view text) {
    ExchangeState state;
    if (!text.starts_with(kHeader)) return state;
    CallId highest = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const auto fields = SplitTabs(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        DWORD line = 0;
        if (fields[0] == "next" && fields.size() == 2) {
            CallId next = 0;
            if (ReadNumber(fields[1], &next) && next > 0) state.nextId_ = next;
        } else if (fields[0] == "blocked" && fields.size() == 2) {
            if (ReadNumber(fields[1], &line) && line > 0) state.blocked_.insert(line - 1);
        } else if (fields[0] == "call" && fields.size() == 7) {
            SimCall sim;
            if (!ReadNumber(fields[1], &sim.call.id) || !ReadNumber(fields[2], &line) ||
                line == 0 || state.byId_.contains(sim.call.id) ||
                !ReadNumber(fields[4], &sim.owner))
                continue;
            if (fields[3] != "offering" && fields[3] != "connected") continue;
            sim.call.device = line - 1;
            sim.call.state =
                fields[3] == "connected" ? LINECALLSTATE_CONNECTED : LINECALLSTATE_OFFERING;
            sim.call.number = Utf8Text::Repaired(EscapedText::Unescape(fields[5]));
            sim.call.name = Utf8Text::Repaired(EscapedText::Unescape(fields[6]));
            highest = std::max(highest, sim.call.id);
            state.calls_.push_back(std::move(sim));
            state.byId_[state.calls_.back().call.id] = state.calls_.size() - 1;
        }
    }
    // A damaged "next" must never hand out an id that is still in use.
    state.nextId_ = std::max(state.nextId_, highest + 1);
    state.Reindex();
    return state;
}

}  // namespace platform::sim
