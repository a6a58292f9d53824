// The simulated exchange: telephon.ini, the shared state file and demo traffic.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QTemporaryDir>
#include <QTest>

#include "platform/tapi/sim/DemoTraffic.h"
#include "platform/tapi/sim/EscapedText.h"
#include "platform/tapi/sim/ExchangeConfig.h"
#include "platform/tapi/sim/ExchangeStore.h"
#include "platform/tapi/sim/SimExchange.h"

using namespace platform;
using namespace platform::sim;

namespace {

TEST(ExchangeConfigTest, ReadsLinesNamesAndBehaviour) {
    const auto config = ExchangeConfig::Parse(
        "[exchange]\n lines = 3 \nTRAFFIC=Demo\nSeed=42\nDrop=async\n"
        "[Line2]\nName=  Front\\x00desk\\tA\\\\B\\x7\\q\\\nCaps=fail\n"
        "[LINE3]\nOpen=fail\nVersions=0x00010004-20000\n"
        "[Line9]\nName=beyond the last line\n");
    EXPECT_EQ("sim", config.provider);
    EXPECT_EQ(3u, config.lines);
    EXPECT_TRUE(config.demoTraffic);
    EXPECT_EQ(42u, config.seed);
    EXPECT_TRUE(config.acceptDrop);
    EXPECT_EQ("Line 1", config.Name(0));
    EXPECT_EQ(std::string("Front\0desk\tA\\B\\x7\\q\\", 20), config.Name(1));
    EXPECT_TRUE(config.Line(1).capsFail);
    EXPECT_FALSE(config.Line(1).openFail);
    EXPECT_TRUE(config.Line(2).openFail);
    EXPECT_EQ(0x00010004u, config.Line(2).versions.low);
    EXPECT_EQ(0x00020000u, config.Line(2).versions.high);
    EXPECT_EQ("Line 9", config.Name(8));
}

TEST(ExchangeConfigTest, DamagedValuesFallBackToSoundDefaults) {
    const auto lines = [](const char* value) {
        return ExchangeConfig::Parse(std::string("[Exchange]\nLines=") + value).lines;
    };
    const std::pair<const char*, DWORD> cases[] = {
        {"0", 0},
        {"-5", 0},
        {"many", 4},
        {"12abc", 4},
        {"0007", 7},
        {"4000000000", ExchangeConfig::kMaxLines},
        {"99999999999999999999999", ExchangeConfig::kMaxLines}};
    for (const auto& [value, expected] : cases) EXPECT_EQ(expected, lines(value)) << value;

    const auto config = ExchangeConfig::Parse(
        "garbage\n[Exchange\nLines=1\n[Exchange]\nSeed=-1\nTraffic=lots\n"
        "[Line1]\nVersions=20000-10003\n[Line2]\nVersions=banana\n\xff\xfe=\x01");
    EXPECT_EQ(4u, config.lines);  // the key under the broken header is not taken
    EXPECT_EQ(ExchangeConfig::kDefaultSeed, config.seed);
    EXPECT_FALSE(config.demoTraffic);
    EXPECT_EQ(0x00010003u, config.Line(0).versions.low);
    EXPECT_EQ(0x00020002u, config.Line(1).versions.high);
}

TEST(ExchangeConfigTest, StarterFileIsWrittenOnceAndShowsFourLinesOfDemoTraffic) {
    QTemporaryDir dir;
    ExchangeConfig::CreateIfMissing(dir.path());
    const auto config = ExchangeConfig::Load(dir.path());
    EXPECT_EQ(4u, config.lines);
    EXPECT_TRUE(config.demoTraffic);

    QFile file(ExchangeConfig::FilePath(dir.path()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Exchange]\nLines=2\n");
    file.close();
    ExchangeConfig::CreateIfMissing(dir.path());
    EXPECT_EQ(2u, ExchangeConfig::Load(dir.path()).lines);
}

TEST(ExchangeStateTest, EveryByteSurvivesTheStateFile) {
    std::string odd;
    for (int c = 0; c < 256; ++c) odd += static_cast<char>(c);
    ExchangeState state;
    const CallId a = state.Ring(0, odd, "tab\there\nnewline\\", 0);
    const CallId b = state.Ring(4, "", "", 1234);
    state.SetBlocked(2, true);
    state.Answer(b);

    const std::string text = state.Serialize();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);  // header, next, blocked, 2 calls
    const ExchangeState back = ExchangeState::Parse(text);
    ASSERT_EQ(2u, back.Calls().size());
    EXPECT_EQ(odd, back.Find(a)->call.number);
    EXPECT_EQ("tab\there\nnewline\\", back.Find(a)->call.name);
    EXPECT_EQ(LINECALLSTATE_CONNECTED, back.Find(b)->call.state);
    EXPECT_EQ(1234, back.Find(b)->owner);
    EXPECT_TRUE(back.IsBlocked(2));
    EXPECT_EQ(std::vector<CallId>{b}, back.CallsOn(4));
}

TEST(ExchangeStateTest, DamagedRecordsAreSkippedAndIdsNeverReused) {
    const ExchangeState state = ExchangeState::Parse(
        "vastrel-exchange 1\nnext\t2\ncall\t9\t1\toffering\t0\t555\tAnna\n"
        "call\t9\t2\toffering\t0\tdup\tid\ncall\tx\t1\toffering\t0\t\t\n"
        "call\t10\t0\toffering\t0\t\t\ncall\t11\t1\tringing\t0\t\t\ncall\t12\t1\n"
        "blocked\tnope\n\x01\x02");
    ASSERT_EQ(1u, state.Calls().size());
    EXPECT_EQ("555", state.Calls()[0].call.number);
    ExchangeState next = state;
    EXPECT_GT(next.Ring(0, "", ""), 9u);

    EXPECT_TRUE(
        ExchangeState::Parse("not a state file\ncall\t1\t1\toffering\t0\t\t\n").Calls().empty());
}

class ExchangeStoreTest : public ::testing::Test {
protected:
    QString Path() const { return ExchangeStore::DefaultPath(dir_.path()); }
    QTemporaryDir dir_;
};

TEST_F(ExchangeStoreTest, ChangesByAnotherStoreShowAtTheNextRefresh) {
    ExchangeStore vastrel(Path());
    ExchangeStore phone(Path());
    EXPECT_TRUE(vastrel.Refresh());  // first look
    EXPECT_FALSE(vastrel.Refresh());

    ASSERT_TRUE(phone.Update([](ExchangeState& s) { s.Ring(3, "555", "Anna"); }));
    EXPECT_TRUE(vastrel.Refresh());
    ASSERT_EQ(1u, vastrel.State().CallsOn(3).size());
    EXPECT_FALSE(vastrel.Refresh());
    // Changes of the same size in quick succession are each seen.
    for (const bool blocked : {true, false, true, false}) {
        ASSERT_TRUE(phone.Update([&](ExchangeState& s) { s.SetBlocked(0, blocked); }));
        vastrel.Refresh();
        EXPECT_EQ(vastrel.State().IsBlocked(0), blocked);
    }
}

TEST_F(ExchangeStoreTest, UpdatesStartFromTheNewestFile) {
    ExchangeStore a(Path());
    ExchangeStore b(Path());
    a.Refresh();
    b.Refresh();
    ASSERT_TRUE(a.Update([](ExchangeState& s) { s.Ring(0, "a", ""); }));
    ASSERT_TRUE(b.Update([](ExchangeState& s) { s.Ring(0, "b", ""); }));  // b's view was stale
    a.Refresh();
    EXPECT_EQ(2u, a.State().CallsOn(0).size());
}

TEST_F(ExchangeStoreTest, CallsOfAProcessThatDiedAreGone) {
    const std::int64_t goneProcess = 0x7ffffff0;  // above any pid_max
    ExchangeStore store(Path());
    ASSERT_TRUE(store.Update([&](ExchangeState& s) {
        s.Ring(0, "demo", "", goneProcess);
        s.Ring(0, "mine", "", ::getpid());
        s.Ring(0, "phone", "", 0);
    }));
    ExchangeStore reader(Path());
    reader.Refresh();
    ASSERT_EQ(2u, reader.State().Calls().size());
    EXPECT_EQ("mine", reader.State().Calls()[0].call.number);
}

TEST_F(ExchangeStoreTest, UnwritableStateReportsFailure) {
    QFile blocker(dir_.path() + "/blocker");  // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ExchangeStore store(blocker.fileName() + "/exchange.state");
    EXPECT_FALSE(store.Update([](ExchangeState& s) { s.Ring(0, "", ""); }));
    EXPECT_TRUE(store.State().Calls().empty());
    EXPECT_FALSE(store.Refresh() && !store.State().Calls().empty());
}

std::vector<DemoAction> TenMinutes(std::uint32_t seed, DWORD lines) {
    DemoTraffic demo(seed, lines);
    std::vector<DemoAction> all;
    for (std::int64_t now = 0; now <= 600000; now += 777) {
        auto due = demo.Advance(now);
        all.insert(all.end(), due.begin(), due.end());
    }
    return all;
}

TEST(DemoTrafficTest, TheSameSeedRepeatsTheRunAndCallsRingFirstAndEndOnce) {
    const auto actions = TenMinutes(3, 4);
    EXPECT_EQ(actions, TenMinutes(3, 4));
    EXPECT_NE(actions, TenMinutes(8, 4));
    EXPECT_EQ(actions, DemoTraffic(3, 4).Advance(600000)) << "other steps, the same run";
    std::map<std::uint64_t, std::vector<DemoAction::Kind>> byCall;
    std::map<DWORD, int> activeOnLine;
    std::int64_t last = 0;
    int rings = 0;
    for (const DemoAction& a : actions) {
        EXPECT_GE(a.atMs, last);
        last = a.atMs;
        ASSERT_LT(a.device, 4u);
        byCall[a.call].push_back(a.kind);
        if (a.kind == DemoAction::Kind::Ring) {
            ++rings;
            EXPECT_EQ(0, activeOnLine[a.device]++) << "two demo calls on one line";
        }
        if (a.kind == DemoAction::Kind::Hangup) --activeOnLine[a.device];
    }
    EXPECT_GT(rings, 5);
    EXPECT_LE(actions.front().atMs, 2000);  // something happens soon after start
    for (const auto& [call, kinds] : byCall) {
        EXPECT_EQ(DemoAction::Kind::Ring, kinds.front());
        EXPECT_LE(std::count(kinds.begin(), kinds.end(), DemoAction::Kind::Hangup), 1);
        if (kinds.size() == 3) {
            EXPECT_EQ(DemoAction::Kind::Answer, kinds[1]);
        }
    }
    EXPECT_EQ(-1, DemoTraffic(1, 0).NextDueMs());
}

TEST(SimExchangeTest, DemoTrafficIsSharedWhileActiveAndRemovedAfter) {
    QTemporaryDir dir;
    ExchangeConfig config;
    config.lines = 2;
    config.demoTraffic = true;
    const QString path = ExchangeStore::DefaultPath(dir.path());
    SimExchange exchange(config, path);
    int changes = 0;
    exchange.SetChangeHandler([&] { ++changes; });
    exchange.SetActive(true);

    ExchangeStore phone(path);
    const auto ringing = [&phone] {
        phone.Refresh();
        return !phone.State().Calls().empty();
    };
    QTRY_VERIFY_WITH_TIMEOUT(ringing(), 4000);
    ASSERT_EQ(1u, phone.State().Calls().size());
    EXPECT_EQ(::getpid(), phone.State().Calls()[0].owner);
    EXPECT_GT(changes, 0);

    exchange.SetActive(false);
    phone.Refresh();
    EXPECT_TRUE(phone.State().Calls().empty());
}

}  // namespace
