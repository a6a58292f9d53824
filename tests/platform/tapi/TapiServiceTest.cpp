// The simulated exchange: its shared state file, demo traffic, and TapiService
// over it driven the way the program calls it.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

#include "platform/Utf8Text.h"
#include "platform/tapi/TapiFactory.h"
#include "platform/tapi/sim/DemoTraffic.h"
#include "platform/tapi/sim/ExchangeStore.h"

using namespace platform;
using namespace platform::sim;

namespace {

struct Event {
    DWORD hDevice, message;
    DWORD_PTR param1, param2, param3;
};
using States = std::vector<DWORD>;
constexpr DWORD kVersion = 0x00020002;

std::vector<BYTE> Buffer(DWORD totalSize, std::size_t capacity) {
    std::vector<BYTE> buffer(capacity, 0xCC);
    WriteDword(buffer.data(), 4, 0, totalSize);
    return buffer;
}
DWORD Field(const std::vector<BYTE>& buffer, DWORD offset) {
    return ReadDword(buffer.data(), static_cast<DWORD>(buffer.size()), offset);
}
// Whether nothing from `from` on was written.
bool Untouched(const std::vector<BYTE>& b, std::size_t from) {
    return std::all_of(b.begin() + from, b.end(), [](BYTE x) { return x == 0xCC; });
}

class TapiServiceTest : public ::testing::Test {
protected:
    TapiServiceTest() { config_.lines = 3; }
    void Start() {
        service_ = CreateSimTapiService(config_, paths_);
        const auto callback = [this](DWORD h, DWORD message, DWORD_PTR, DWORD_PTR p1, DWORD_PTR p2,
                                     DWORD_PTR p3) {
            events_.push_back({h, message, p1, p2, p3});
            if (onEvent_) onEvent_(events_.back());
        };
        ASSERT_EQ(0, service_->lineInitialize(&app_, 0, callback, "Pelmarsh", &devices_));
    }
    // What vastrel-phone, in another process, does to the exchange.
    void Phone(const std::function<void(sim::ExchangeState&)>& change) {
        ASSERT_TRUE(store_.Update(change));
    }
    CallId Ring(DWORD device, const std::string& number = "5551234",
                const std::string& name = "Anna Adler") {
        CallId id = 0;
        Phone([&](sim::ExchangeState& s) { id = s.Ring(device, number, name); });
        return id;
    }
    LONG Open(DWORD device, HLINE* hLine, DWORD version = kVersion, HLINEAPP app = 0) {
        return service_->lineOpen(app ? app : app_, device, hLine, version, 0, 0,
                                  LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_DATAMODEM, nullptr);
    }
    std::vector<HCALL> NewCalls(HLINE hLine) {
        auto list = Buffer(1024, 1024);
        EXPECT_EQ(0, service_->lineGetNewCalls(hLine, 0, LINECALLSELECT_LINE, list.data()));
        std::vector<HCALL> handles;
        for (DWORD i = 0; i < Field(list, linecalllist::dwCallsNumEntries); ++i)
            handles.push_back(Field(list, Field(list, linecalllist::dwCallsOffset) + 4 * i));
        return handles;
    }
    std::vector<HCALL> Scan(DWORD device) {  // open, list, close
        HLINE hLine = 0;
        EXPECT_EQ(0, Open(device, &hLine));
        auto handles = NewCalls(hLine);
        EXPECT_EQ(0, service_->lineClose(hLine));
        return handles;
    }
    States StatesOf(HCALL hCall) const {
        States states;
        for (const Event& e : events_)
            if (e.message == LINE_CALLSTATE && e.hDevice == hCall)
                states.push_back(static_cast<DWORD>(e.param1));
        return states;
    }

    QTemporaryDir dir_;
    Paths paths_ = Paths::UnderRoot(dir_.path());
    sim::ExchangeConfig config_;
    std::unique_ptr<TapiService> service_;
    sim::ExchangeStore store_{sim::ExchangeStore::DefaultPath(paths_.runtimeDir)};
    HLINEAPP app_ = 0;
    DWORD devices_ = 0;
    std::vector<Event> events_;
    std::function<void(const Event&)> onEvent_;
};

// Each structure: complete, short of its variable part, and short of its fixed part.
TEST_F(TapiServiceTest, TwoCallsOnALineAndStructuresThatStayInsideTheBuffer) {
    config_.EditLine(1).name = std::string("Front\0desk\t\\", 12);
    Start();
    EXPECT_EQ(3u, devices_);
    Ring(0, "0301234567", "Anna Adler");
    Ring(0, "", "");
    HLINE hLine = 0;
    ASSERT_EQ(0, Open(0, &hLine));
    const auto calls = NewCalls(hLine);  // two calls on one line
    ASSERT_EQ(2u, calls.size());
    EXPECT_NE(calls[0], calls[1]);
    EXPECT_EQ(calls, NewCalls(hLine));  // seen again: the same handles
    namespace dc = linedevcaps;
    namespace ci = linecallinfo;
    const struct {
        const char* what;
        DWORD device;  // a line for LINEDEVCAPS, a call for LINECALLINFO, or 9: the call list
        DWORD fixed, needed, sizeAt, offsetAt, size;
        std::string bytes;  // empty: not compared
    } cases[] = {
        {"odd name", 1, 240, 253, dc::dwLineNameSize, dc::dwLineNameOffset, 13,
         std::string("Front\0desk\t\\\0", 13)},
        {"call list", 9, 24, 32, linecalllist::dwCallsSize, linecalllist::dwCallsOffset, 8, ""},
        {"caller id", calls[0], 296, 318, ci::dwCallerIDSize, ci::dwCallerIDOffset, 11,
         std::string("0301234567\0", 11)},
        {"no caller id", calls[1], 296, 296, ci::dwCallerIDSize, ci::dwCallerIDOffset, 0, ""},
    };
    for (const auto& c : cases) {
        const auto query = [&](BYTE* b) {
            if (c.device == 9) return service_->lineGetNewCalls(hLine, 0, LINECALLSELECT_LINE, b);
            if (c.fixed == 240) return service_->lineGetDevCaps(app_, c.device, kVersion, 0, b);
            return service_->lineGetCallInfo(c.device, b);
        };
        SCOPED_TRACE(c.what);
        auto full = Buffer(c.needed, c.needed + 64);
        ASSERT_EQ(0, query(full.data()));
        EXPECT_EQ(std::tuple(c.needed, c.needed, c.size),
                  std::tuple(Field(full, 4), Field(full, 8), Field(full, c.sizeAt)));
        if (!c.bytes.empty()) {
            ASSERT_GE(Field(full, c.offsetAt), c.fixed);
            EXPECT_EQ(0,
                      std::memcmp(full.data() + Field(full, c.offsetAt), c.bytes.data(), c.size));
        }
        EXPECT_TRUE(Untouched(full, c.needed));
        if (c.needed > c.fixed) {
            auto shortOfText = Buffer(c.needed - 1, c.needed + 64);
            ASSERT_EQ(0, query(shortOfText.data()));
            EXPECT_EQ(std::tuple(c.needed, c.fixed, 0u),
                      std::tuple(Field(shortOfText, 4), Field(shortOfText, 8),
                                 Field(shortOfText, c.sizeAt)));
            EXPECT_TRUE(Untouched(shortOfText, c.fixed));
        }
        auto tiny = Buffer(c.fixed - 1, c.needed + 64);
        EXPECT_EQ(LINEERR_STRUCTURETOOSMALL, query(tiny.data()));
        EXPECT_TRUE(Untouched(tiny, 4));
    }
    auto bare = Buffer(296, 296);
    ASSERT_EQ(0, service_->lineGetCallInfo(calls[1], bare.data()));
    EXPECT_EQ(LINECALLPARTYID_UNKNOWN, Field(bare, ci::dwCallerIDFlags));
}

TEST_F(TapiServiceTest, VersionsAndOpenAreRefusedLikeTapiDoes) {
    config_.EditLine(1).versions = {0x00010004, 0x00010004};
    config_.EditLine(2).versions = {0x00030001, 0x00040000};
    Start();
    DWORD version = 0;
    LINEEXTENSIONID extension{};
    for (const auto& [device, result] : {std::pair{1u, 0}, {2u, LINEERR_INCOMPATIBLEAPIVERSION}})
        EXPECT_EQ(result, service_->lineNegotiateAPIVersion(app_, device, 0x00010003, 0x00030000,
                                                            &version, &extension));
    EXPECT_EQ(DWORD{0x00010004}, version);  // the highest common one
    HLINE hLine = 0;
    EXPECT_EQ(LINEERR_INCOMPATIBLEAPIVERSION, Open(1, &hLine));
    Phone([](sim::ExchangeState& s) { s.SetBlocked(0, true); });
    EXPECT_EQ(LINEERR_RESOURCEUNAVAIL, Open(0, &hLine));
}

TEST_F(TapiServiceTest, CallStatesArriveThroughTheEventLoop) {
    Start();
    Ring(2);
    const CallId answered = Ring(0);
    Phone([answered](sim::ExchangeState& s) { s.Answer(answered); });
    const HCALL hCall = Scan(2).at(0);
    const HCALL hAnswered = Scan(0).at(0);
    EXPECT_TRUE(events_.empty()) << "delivered from inside a line function";
    QTRY_VERIFY_WITH_TIMEOUT(StatesOf(hCall).size() == 1 && StatesOf(hAnswered).size() == 1, 2000);
    EXPECT_EQ(States{LINECALLSTATE_OFFERING}, StatesOf(hCall));
    EXPECT_EQ(States{LINECALLSTATE_CONNECTED}, StatesOf(hAnswered));  // first sight: as it is now
    EXPECT_EQ(LINECALLPRIVILEGE_MONITOR, events_[0].param3);
    Phone([](sim::ExchangeState& s) { s.AnswerOn(2); });  // while the line is closed
    QTRY_COMPARE_WITH_TIMEOUT(StatesOf(hCall).size(), std::size_t{2}, 2000);
    // The program releases a handle from inside the callback when it goes idle.
    onEvent_ = [this](const Event& e) {
        if (e.message == LINE_CALLSTATE && e.param1 == LINECALLSTATE_IDLE) {
            EXPECT_EQ(0, service_->lineDeallocateCall(e.hDevice));
        }
    };
    Phone([](sim::ExchangeState& s) { s.HangupOn(2); });
    QTRY_VERIFY_WITH_TIMEOUT(StatesOf(hCall).size() >= 4, 2000);
    EXPECT_EQ((States{LINECALLSTATE_OFFERING, LINECALLSTATE_CONNECTED, LINECALLSTATE_DISCONNECTED,
                      LINECALLSTATE_IDLE}),
              StatesOf(hCall));
    EXPECT_EQ(LINEERR_INVALCALLHANDLE, service_->lineDeallocateCall(hCall));
}

TEST_F(TapiServiceTest, DropIsRefusedToAMonitorOrRepliedToAsyncAndShutdownSilencesTheApp) {
    Start();
    EXPECT_EQ(LINEERR_INVALAPPHANDLE, service_->lineShutdown(app_ ^ 0x40000000));
    Ring(0);
    EXPECT_EQ(LINEERR_NOTOWNER, service_->lineDrop(Scan(0).at(0), "", 1));
    config_.acceptDrop = true;  // an exchange that lets a monitor drop, asynchronously
    Start();
    events_.clear();
    Ring(1);
    const HCALL hCall = Scan(1).at(0);
    const LONG request = service_->lineDrop(hCall, "", 1);
    ASSERT_GT(request, 0);
    QTRY_VERIFY_WITH_TIMEOUT(StatesOf(hCall).size() >= 3, 2000);
    EXPECT_EQ((States{LINECALLSTATE_OFFERING, LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE}),
              StatesOf(hCall));
    const auto reply = std::ranges::find(events_, DWORD{LINE_REPLY}, &Event::message);
    ASSERT_NE(reply, events_.end());
    EXPECT_EQ(std::pair(reply->param1, reply->param2), std::pair(DWORD_PTR(request), DWORD_PTR{0}));
    store_.Refresh();
    EXPECT_EQ(1u, store_.State().Calls().size());  // only the refused one is left
    events_.clear();
    Ring(2);
    HLINE hLine = 0;
    ASSERT_EQ(0, Open(2, &hLine));
    NewCalls(hLine);  // an event is now on its way
    EXPECT_EQ(0, service_->lineShutdown(app_));
    QTest::qWait(50);
    EXPECT_TRUE(events_.empty());
    EXPECT_EQ(LINEERR_INVALAPPHANDLE, service_->lineShutdown(app_));
}

// Another process's changes, every character of them, show at the next
// refresh; bytes that are not UTF-8 arrive as their Latin-1 characters. (A
// FIFO in place of the state: FaultsE2ETest, FifoInPlace.)
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
    EXPECT_EQ(std::pair(Utf8Text::Repaired(odd), std::string("tab\there\nnewline\\")),
              std::pair(back.Find(a)->call.number, back.Find(a)->call.name));
    EXPECT_EQ(std::pair(DWORD{LINECALLSTATE_CONNECTED}, std::int64_t{::getpid()}),
              std::pair(back.Find(b)->call.state, std::int64_t{back.Find(b)->owner}));
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
