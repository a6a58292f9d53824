// The simulated exchange: the shared state file and demo traffic.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QTemporaryDir>

#include "NonRegularFiles.h"
#include "platform/tapi/sim/DemoTraffic.h"
#include "platform/tapi/sim/ExchangeStore.h"

using namespace platform;
using namespace platform::sim;

namespace {

// Another process's changes, every byte of them, show at the next refresh.
TEST(ExchangeStoreTest, AnotherProcessesChangesShowAtTheNextRefresh) {
    QTemporaryDir dir;
    ExchangeStore vastrel(ExchangeStore::DefaultPath(dir.path())), phone(vastrel.Path());
    EXPECT_TRUE(vastrel.Refresh());  // first look
    EXPECT_FALSE(vastrel.Refresh());
    std::string odd;
    for (int c = 0; c < 256; ++c) odd += static_cast<char>(c);
    CallId a = 0, b = 0;
    ASSERT_TRUE(phone.Update([&](ExchangeState& s) {
        a = s.Ring(0, odd, "tab\there\nnewline\\", 0);
        s.Answer(b = s.Ring(4, "", "", ::getpid()));  // an owner alive
    }));
    EXPECT_TRUE(vastrel.Refresh());
    const ExchangeState& back = vastrel.State();
    EXPECT_EQ(odd, back.Find(a)->call.number);
    EXPECT_EQ("tab\there\nnewline\\", back.Find(a)->call.name);
    EXPECT_EQ(LINECALLSTATE_CONNECTED, back.Find(b)->call.state);
    EXPECT_EQ(::getpid(), back.Find(b)->owner);
    EXPECT_EQ(std::vector<CallId>{b}, back.CallsOn(4));
    // Changes of the same size in quick succession are each seen.
    for (const bool blocked : {true, false, true, false}) {
        ASSERT_TRUE(phone.Update([&](ExchangeState& s) { s.SetBlocked(2, blocked); }));
        vastrel.Refresh();
        EXPECT_EQ(vastrel.State().IsBlocked(2), blocked);
    }
    // An update from a stale view starts from the newest file.
    ASSERT_TRUE(vastrel.Update([](ExchangeState& s) { s.Ring(1, "a", ""); }));
    ASSERT_TRUE(phone.Update([](ExchangeState& s) { s.Ring(1, "b", ""); }));
    vastrel.Refresh();
    EXPECT_EQ(2u, vastrel.State().CallsOn(1).size());
}

// A FIFO as the shared state reads as empty at once and is never written
// through or replaced.
TEST(ExchangeStoreTest, AFifoInPlaceOfTheStateIsNeitherWaitedOnNorReplaced) {
    QTemporaryDir dir;
    const QString state = ExchangeStore::DefaultPath(dir.path());
    ASSERT_TRUE(MakeFifo(state));
    const auto unreadable = [&] {
        ExchangeStore store(state);
        store.Refresh();
        const bool updated = store.Update([](ExchangeState& s) { s.Ring(0, "1", ""); });
        return store.State().Calls().empty() && !updated ? 0 : 1;
    };
    EXPECT_EQ(ExitCodeWithin(5000, unreadable), 0);
    EXPECT_TRUE(IsFifo(state));
}

std::vector<DemoAction> TenMinutes(std::uint32_t seed, std::int64_t stepMs) {
    DemoTraffic demo(seed, 4);
    std::vector<DemoAction> all;
    for (std::int64_t now = 0; now <= 600000; now += stepMs) {
        auto due = demo.Advance(now);
        all.insert(all.end(), due.begin(), due.end());
    }
    return all;
}

TEST(DemoTrafficTest, TheSameSeedRepeatsTheRunWithOneCallALineAtATime) {
    const auto actions = TenMinutes(3, 777);
    EXPECT_EQ(actions, TenMinutes(3, 600000)) << "other steps, the same run";
    EXPECT_NE(actions, TenMinutes(8, 777));
    std::map<DWORD, int> active;
    int rings = 0;
    for (const DemoAction& a : actions) {
        ASSERT_LT(a.device, 4u);
        rings += a.kind == DemoAction::Kind::Ring;
        if (a.kind == DemoAction::Kind::Ring) {
            EXPECT_EQ(0, active[a.device]++) << "two calls on one line";
        }
        if (a.kind == DemoAction::Kind::Hangup) {
            EXPECT_EQ(0, --active[a.device]) << "a hangup without a call";
        }
    }
    EXPECT_GT(rings, 5);
}

}  // namespace
