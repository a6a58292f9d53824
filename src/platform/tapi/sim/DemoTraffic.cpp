#include "DemoTraffic.h"

#include <algorithm>

namespace platform::sim {
namespace {

constexpr const char* kFirstNames[] = {"Anna", "Ben",  "Clara", "David", "Emma",  "Felix", "Greta",
                                       "Hugo", "Ida",  "Jonas", "Karin", "Lukas", "Mira",  "Nils",
                                       "Olga", "Paul", "Rosa",  "Simon", "Tina",  "Viktor"};
constexpr const char* kSurnames[] = {"Adler",  "Berger",    "Claes",   "Dorn",     "Eckert",
                                     "Fink",   "Gruber",    "Hansen",  "Iversen",  "Jansen",
                                     "Krause", "Lindqvist", "Moser",   "Novak",    "Olsen",
                                     "Petrov", "Quist",     "Richter", "Sandberg", "Thorne"};

// A whole exchange should not ring more than a few times a second, however
// many lines it has.
constexpr std::uint32_t kMinRingGapMs = 250;
constexpr std::uint32_t kMeanRingGapPerLineMs = 90000;

}  // namespace

DemoTraffic::DemoTraffic(std::uint32_t seed, DWORD lines) : random_(seed), lines_(lines) {
    // Ring soon, so that a first start shows something alive.
    nextRingMs_ = lines_ == 0 ? std::int64_t{-1} : std::int64_t{Uniform(500, 2000)};
}

std::uint32_t DemoTraffic::Uniform(std::uint32_t low, std::uint32_t high) {
    // mt19937 output is fixed by the standard, unlike the distributions, so a
    // seed gives the same traffic with any library.
    return low + static_cast<std::uint32_t>(random_() % (high - low + 1));
}

std::int64_t DemoTraffic::NextDueMs() const {
    if (nextRingMs_ < 0) return -1;
    if (pending_.empty()) return nextRingMs_;
    return std::min(nextRingMs_, pending_.begin()->first);
}

std::vector<DemoAction> DemoTraffic::Advance(std::int64_t nowMs) {
    std::vector<DemoAction> due;
    while (true) {
        const std::int64_t next = NextDueMs();
        if (next < 0 || next > nowMs) return due;
        if (!pending_.empty() && pending_.begin()->first <= nextRingMs_) {
            DemoAction action = pending_.begin()->second;
            pending_.erase(pending_.begin());
            if (action.kind == DemoAction::Kind::Hangup) busy_.erase(action.device);
            due.push_back(std::move(action));
            continue;
        }
        const std::int64_t at = nextRingMs_;
        const std::uint32_t mean = std::max(kMinRingGapMs, kMeanRingGapPerLineMs / lines_);
        nextRingMs_ = at + Uniform(mean / 5, mean * 9 / 5);
        const DWORD device = Uniform(0, lines_ - 1);
        if (busy_.contains(device)) continue;  // one call per line keeps the picture readable
        busy_.insert(device);
        const std::uint64_t call = nextCall_++;
        PlanCall(call, device, at);
        std::string number = RandomNumber();
        due.push_back(
            DemoAction{DemoAction::Kind::Ring, at, call, device, std::move(number), RandomName()});
    }
}

void DemoTraffic::PlanCall(std::uint64_t call, DWORD device, std::int64_t atMs) {
    std::int64_t endMs = 0;
    if (Uniform(1, 100) <= 70) {
        const std::int64_t answerMs = atMs + Uniform(2000, 8000);
        pending_.emplace(answerMs,
                         DemoAction{DemoAction::Kind::Answer, answerMs, call, device, {}, {}});
        endMs = answerMs + Uniform(20000, 240000);
    } else {
        endMs = atMs + Uniform(8000, 30000);
    }
    pending_.emplace(endMs, DemoAction{DemoAction::Kind::Hangup, endMs, call, device, {}, {}});
}

std::string DemoTraffic::RandomNumber() {
    if (Uniform(1, 100) <= 5) return {};  // withheld
    std::string number = "0" + std::to_string(Uniform(20, 99));
    number += ' ';
    for (int i = 0; i < 7; ++i) number += static_cast<char>('0' + Uniform(0, 9));
    return number;
}

std::string DemoTraffic::RandomName() {
    if (Uniform(1, 100) <= 20) return {};  // the network delivered no name
    const std::string first = kFirstNames[Uniform(0, std::size(kFirstNames) - 1)];
    return first + " " + kSurnames[Uniform(0, std::size(kSurnames) - 1)];
}

}  // namespace platform::sim
