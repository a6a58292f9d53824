#pragma once
// Plausible random calls for a first look at the program: lines ring, some
// calls are answered after a few seconds, calls end after tens of seconds to
// minutes. Pure: driven by the caller's clock, so a seed repeats a run.
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/Win32.h"

namespace platform::sim {

struct DemoAction {
    enum class Kind { Ring, Answer, Hangup };
    Kind kind = Kind::Ring;
    std::int64_t atMs = 0;
    std::uint64_t call = 0;  // the generator's own call number
    DWORD device = 0;
    std::string number;  // Ring only
    std::string name;    // Ring only
    bool operator==(const DemoAction&) const = default;
};

class DemoTraffic {
public:
    DemoTraffic(std::uint32_t seed, DWORD lines);

    // The actions due at or before nowMs (milliseconds since the start), in
    // time order.
    std::vector<DemoAction> Advance(std::int64_t nowMs);
    // When the next action is due; -1 when there will be none (no lines).
    std::int64_t NextDueMs() const;

private:
    std::uint32_t Uniform(std::uint32_t low, std::uint32_t high);
    void PlanCall(std::uint64_t call, DWORD device, std::int64_t atMs);
    std::string RandomNumber();
    std::string RandomName();

    std::mt19937 random_;
    DWORD lines_;
    std::int64_t nextRingMs_;
    std::uint64_t nextCall_ = 1;
    std::multimap<std::int64_t, DemoAction> pending_;
    std::unordered_set<DWORD> busy_;
};

}  // namespace platform::sim
