// The simulated exchange: telephon.ini, the shared state file and demo traffic.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <unistd.h>

#include "SpecialFiles.h"
#include "platform/tapi/kamailio/KamailioConfig.h"
#include "platform/tapi/sim/DemoTraffic.h"
#include "platform/tapi/sim/ExchangeConfig.h"
#include "platform/tapi/sim/ExchangeStore.h"

using namespace platform;
using namespace platform::sim;

namespace {

TEST(ExchangeConfigTest, ReadsEscapedNamesAndFallsBackOnDamagedValues) {
    const auto config = ExchangeConfig::Parse(
        "garbage\n[Exchange\nLines=1\n[exchange]\nTRAFFIC=Demo\nSeed=42\nDrop=async\n"
        "[Line2]\nName=  Front\\x00desk\\tA\\\\B\\x7\\q\\\nCaps=fail\n"
        "[LINE3]\nOpen=fail\nVersions=0x00010004-20000\n[Line1]\nVersions=20000-10003\n\xff\xfe="
        "\x01");
    EXPECT_EQ(4u, config.lines);  // the key under the broken header is not taken
    EXPECT_TRUE(config.demoTraffic);
    EXPECT_EQ(42u, config.seed);
    EXPECT_TRUE(config.acceptDrop);
    EXPECT_EQ("Line 1", config.Name(0));
    EXPECT_EQ(std::string("Front\0desk\tA\\B\\x7\\q\\", 20), config.Name(1));
    EXPECT_TRUE(config.Line(1).capsFail);
    EXPECT_TRUE(config.Line(2).openFail);
    EXPECT_EQ(0x00010004u, config.Line(2).versions.low);
    EXPECT_EQ(0x00020000u, config.Line(2).versions.high);
    EXPECT_EQ(0x00010003u, config.Line(0).versions.low);  // a reversed range is not taken
    const std::pair<const char*, DWORD> lines[] = {
        {"0", 0},     {"-5", 0},   {"many", 4},
        {"12abc", 4}, {"0007", 7}, {"99999999999999999999999", ExchangeConfig::kMaxLines}};
    for (const auto& [value, expected] : lines)
        EXPECT_EQ(expected, ExchangeConfig::Parse(std::string("[Exchange]\nLines=") + value).lines)
            << value;
}

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

// A FIFO as telephon.ini or as the shared state reads as unreadable at once
// and is never written through or replaced; a telephon.ini made anew is private.
TEST(ExchangeFilesTest, AFifoInPlaceOfEitherFileIsNeitherWaitedOnNorReplaced) {
    QTemporaryDir dir;
    const QString ini = ExchangeConfig::FilePath(dir.path());
    const QString state = ExchangeStore::DefaultPath(dir.path());
    ASSERT_TRUE(MakeFifo(ini) && MakeFifo(state));
    const auto unreadable = [&] {
        ExchangeConfig::CreateIfMissing(dir.path());
        const bool defaults = !ExchangeConfig::Load(dir.path()).demoTraffic &&
                              kamailio::KamailioConfig::Load(dir.path()).lines.empty();
        ExchangeStore store(state);
        store.Refresh();
        const bool updated = store.Update([](ExchangeState& s) { s.Ring(0, "1", ""); });
        return defaults && store.State().Calls().empty() && !updated ? 0 : 1;
    };
    EXPECT_EQ(ExitCodeWithin(5000, unreadable), 0);
    EXPECT_TRUE(IsFifo(ini) && IsFifo(state));

    ASSERT_TRUE(QFile::remove(ini));
    ExchangeConfig::CreateIfMissing(dir.path());
    EXPECT_TRUE(ExchangeConfig::Load(dir.path()).demoTraffic);
    EXPECT_EQ(ModeOf(ini), 0600);
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
        if (a.kind == DemoAction::Kind::Ring) { EXPECT_EQ(0, active[a.device]++) << "two calls on one line"; }
        if (a.kind == DemoAction::Kind::Hangup) { EXPECT_EQ(0, --active[a.device]) << "a hangup without a call"; }
    }
    EXPECT_GT(rings, 5);
}

}  // namespace
