// TapiService over the simulated exchange, driven the way the program calls it.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

#include "platform/tapi/TapiFactory.h"
#include "platform/tapi/sim/ExchangeStore.h"

using namespace platform;

namespace {

struct Event {
    DWORD hDevice;
    DWORD message;
    DWORD_PTR param1;
    DWORD_PTR param2;
    DWORD_PTR param3;
};

constexpr DWORD kLow = 0x00010003;
constexpr DWORD kHigh = 0x00030000;
constexpr DWORD kDefaultVersion = 0x00020002;

std::vector<BYTE> Buffer(DWORD totalSize, std::size_t capacity, BYTE fill = 0xCC) {
    std::vector<BYTE> buffer(capacity, fill);
    WriteDword(buffer.data(), 4, 0, totalSize);
    return buffer;
}

class TapiServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        paths_ = Paths::UnderRoot(dir_.path());
        config_.lines = 3;
    }

    void Start() {
        service_ = CreateSimTapiService(config_, paths_);
        const auto callback = [this](DWORD hDevice, DWORD message, DWORD_PTR, DWORD_PTR p1,
                                     DWORD_PTR p2, DWORD_PTR p3) {
            events_.push_back({hDevice, message, p1, p2, p3});
            if (onEvent_) onEvent_(events_.back());
        };
        ASSERT_EQ(0, service_->lineInitialize(&app_, 0, callback, "Pelmarsh", &devices_));
    }

    // What vastrel-phone, in another process, works on.
    sim::ExchangeStore& Phone() {
        if (!phone_)
            phone_ = std::make_unique<sim::ExchangeStore>(
                sim::ExchangeStore::DefaultPath(paths_.runtimeDir));
        return *phone_;
    }
    CallId Ring(DWORD device, const std::string& number = "5551234",
                const std::string& name = "Anna Adler") {
        CallId id = 0;
        Phone().Update([&](sim::ExchangeState& s) { id = s.Ring(device, number, name); });
        return id;
    }

    HLINE Open(DWORD device) {
        HLINE hLine = 0;
        EXPECT_EQ(0,
                  service_->lineOpen(app_, device, &hLine, kDefaultVersion, 0, 0,
                                     LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_DATAMODEM, nullptr));
        return hLine;
    }

    // The two queries of a scan; returns the handles.
    std::vector<HCALL> NewCalls(HLINE hLine) {
        auto sizing = Buffer(linecalllist::kFixedSize, linecalllist::kFixedSize);
        EXPECT_EQ(0, service_->lineGetNewCalls(hLine, 0, LINECALLSELECT_LINE, sizing.data()));
        const DWORD needed = ReadDword(sizing.data(), 24, linecalllist::dwNeededSize);
        auto list = Buffer(needed, needed);
        EXPECT_EQ(0, service_->lineGetNewCalls(hLine, 0, LINECALLSELECT_LINE, list.data()));
        std::vector<HCALL> handles;
        const DWORD count = ReadDword(list.data(), needed, linecalllist::dwCallsNumEntries);
        const DWORD offset = ReadDword(list.data(), needed, linecalllist::dwCallsOffset);
        for (DWORD i = 0; i < count; ++i)
            handles.push_back(ReadDword(list.data(), needed, offset + 4 * i));
        return handles;
    }
    // One scan of one line: open, both queries, close.
    std::vector<HCALL> Scan(DWORD device) {
        const HLINE hLine = Open(device);
        auto handles = NewCalls(hLine);
        EXPECT_EQ(0, service_->lineClose(hLine));
        return handles;
    }

    std::vector<DWORD> States(HCALL hCall) const {
        std::vector<DWORD> states;
        for (const Event& e : events_) {
            if (e.message == LINE_CALLSTATE && e.hDevice == hCall)
                states.push_back(static_cast<DWORD>(e.param1));
        }
        return states;
    }

    QTemporaryDir dir_;
    Paths paths_;
    sim::ExchangeConfig config_;
    std::unique_ptr<TapiService> service_;
    std::unique_ptr<sim::ExchangeStore> phone_;
    HLINEAPP app_ = 0;
    DWORD devices_ = 0;
    std::vector<Event> events_;
    std::function<void(const Event&)> onEvent_;
};

TEST_F(TapiServiceTest, DevCapsPlacesTheNameAfterTheFixedPart) {
    config_.EditLine(1).name = std::string("Front\0desk\t\\", 12);
    config_.EditLine(2).name = "";
    Start();
    EXPECT_EQ(3u, devices_);

    auto caps = Buffer(2288, 2288);
    ASSERT_EQ(0, service_->lineGetDevCaps(app_, 1, kDefaultVersion, 0, caps.data()));
    EXPECT_EQ(2288u, ReadDword(caps.data(), 2288, linedevcaps::dwTotalSize));
    EXPECT_EQ(240u + 13, ReadDword(caps.data(), 2288, linedevcaps::dwNeededSize));
    EXPECT_EQ(240u + 13, ReadDword(caps.data(), 2288, linedevcaps::dwUsedSize));
    EXPECT_EQ(13u, ReadDword(caps.data(), 2288, linedevcaps::dwLineNameSize));
    EXPECT_EQ(240u, ReadDword(caps.data(), 2288, linedevcaps::dwLineNameOffset));
    EXPECT_EQ(0, std::memcmp(caps.data() + 240, "Front\0desk\t\\\0", 13));

    ASSERT_EQ(0, service_->lineGetDevCaps(app_, 0, kDefaultVersion, 0, caps.data()));
    EXPECT_EQ(0, std::memcmp(caps.data() + 240, "Line 1\0", 7));

    // An empty name is still a name: only its NUL.
    ASSERT_EQ(0, service_->lineGetDevCaps(app_, 2, kDefaultVersion, 0, caps.data()));
    EXPECT_EQ(1u, ReadDword(caps.data(), 2288, linedevcaps::dwLineNameSize));
    EXPECT_EQ(0, caps[240]);
}

TEST_F(TapiServiceTest, DevCapsTooSmallOrFailingStaysInsideTheBuffer) {
    config_.EditLine(1).capsFail = true;
    Start();  // "Line 1" needs 240 + 7
    auto caps = Buffer(245, 300);
    ASSERT_EQ(0, service_->lineGetDevCaps(app_, 0, kDefaultVersion, 0, caps.data()));
    EXPECT_EQ(247u, ReadDword(caps.data(), 245, linedevcaps::dwNeededSize));
    EXPECT_EQ(240u, ReadDword(caps.data(), 245, linedevcaps::dwUsedSize));
    EXPECT_EQ(0u, ReadDword(caps.data(), 245, linedevcaps::dwLineNameSize));
    for (std::size_t i = 240; i < caps.size(); ++i) ASSERT_EQ(0xCC, caps[i]) << i;

    auto tiny = Buffer(100, 300);
    EXPECT_EQ(LINEERR_STRUCTURETOOSMALL,
              service_->lineGetDevCaps(app_, 0, kDefaultVersion, 0, tiny.data()));
    for (std::size_t i = 4; i < tiny.size(); ++i) ASSERT_EQ(0xCC, tiny[i]) << i;

    EXPECT_LT(service_->lineGetDevCaps(app_, 1, kDefaultVersion, 0, caps.data()), 0);
    EXPECT_EQ(LINEERR_BADDEVICEID,
              service_->lineGetDevCaps(app_, 3, kDefaultVersion, 0, caps.data()));
    EXPECT_EQ(LINEERR_INVALAPPHANDLE,
              service_->lineGetDevCaps(app_ + 1, 0, kDefaultVersion, 0, caps.data()));
    EXPECT_EQ(LINEERR_INCOMPATIBLEAPIVERSION,
              service_->lineGetDevCaps(app_, 0, kHigh, 0, caps.data()));
}

TEST_F(TapiServiceTest, NegotiationTakesTheHighestCommonVersion) {
    config_.EditLine(1).versions = {0x00010004, 0x00010004};
    config_.EditLine(2).versions = {0x00030001, 0x00040000};
    Start();
    DWORD version = 0;
    LINEEXTENSIONID extension{1, 2, 3, 4};
    ASSERT_EQ(0, service_->lineNegotiateAPIVersion(app_, 0, kLow, kHigh, &version, &extension));
    EXPECT_EQ(kDefaultVersion, version);
    EXPECT_EQ(0u, extension.dwExtensionID0 | extension.dwExtensionID3);
    ASSERT_EQ(0, service_->lineNegotiateAPIVersion(app_, 1, kLow, kHigh, &version, &extension));
    EXPECT_EQ(0x00010004u, version);
    EXPECT_EQ(LINEERR_INCOMPATIBLEAPIVERSION,
              service_->lineNegotiateAPIVersion(app_, 2, kLow, kHigh, &version, &extension));
    EXPECT_EQ(LINEERR_BADDEVICEID,
              service_->lineNegotiateAPIVersion(app_, 3, kLow, kHigh, &version, &extension));

    // Opening with a version the device does not speak fails like TAPI does.
    HLINE hLine = 0;
    EXPECT_EQ(LINEERR_INCOMPATIBLEAPIVERSION,
              service_->lineOpen(app_, 1, &hLine, kDefaultVersion, 0, 0, LINECALLPRIVILEGE_MONITOR,
                                 LINEMEDIAMODE_DATAMODEM, nullptr));
}

TEST_F(TapiServiceTest, OpenIsRefusedForFailingBlockedOrUnknownLines) {
    config_.EditLine(0).openFail = true;
    Start();
    HLINE hLine = 0;
    const auto open = [&](HLINEAPP app, DWORD device) {
        return service_->lineOpen(app, device, &hLine, kDefaultVersion, 0, 0,
                                  LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_DATAMODEM, nullptr);
    };
    EXPECT_LT(open(app_, 0), 0);
    EXPECT_EQ(LINEERR_BADDEVICEID, open(app_, 3));
    EXPECT_EQ(LINEERR_INVALAPPHANDLE, open(app_ ^ 1, 1));

    Phone().Update([](sim::ExchangeState& s) { s.SetBlocked(1, true); });
    EXPECT_EQ(LINEERR_RESOURCEUNAVAIL, open(app_, 1));
    Phone().Update([](sim::ExchangeState& s) { s.SetBlocked(1, false); });
    ASSERT_EQ(0, open(app_, 1));
    EXPECT_EQ(0, service_->lineClose(hLine));
    EXPECT_EQ(LINEERR_INVALLINEHANDLE, service_->lineClose(hLine));
}

TEST_F(TapiServiceTest, CallListCountsTwoCallsOnOneLine) {
    Start();
    Ring(1);
    Ring(1, "777", "");
    const HLINE hLine = Open(1);

    auto sizing = Buffer(24, 64);
    ASSERT_EQ(0, service_->lineGetNewCalls(hLine, 0, LINECALLSELECT_LINE, sizing.data()));
    EXPECT_EQ(32u, ReadDword(sizing.data(), 24, linecalllist::dwNeededSize));
    EXPECT_EQ(24u, ReadDword(sizing.data(), 24, linecalllist::dwUsedSize));
    EXPECT_EQ(0u, ReadDword(sizing.data(), 24, linecalllist::dwCallsNumEntries));
    for (std::size_t i = 24; i < sizing.size(); ++i) ASSERT_EQ(0xCC, sizing[i]);

    const auto first = NewCalls(hLine);
    ASSERT_EQ(2u, first.size());
    EXPECT_NE(first[0], first[1]);
    EXPECT_EQ(first, NewCalls(hLine));  // seen again: the same handles
    EXPECT_TRUE(NewCalls(Open(0)).empty());
    EXPECT_EQ(LINEERR_STRUCTURETOOSMALL,
              service_->lineGetNewCalls(hLine, 0, LINECALLSELECT_LINE, Buffer(20, 24).data()));
    EXPECT_EQ(LINEERR_INVALLINEHANDLE,
              service_->lineGetNewCalls(hLine + 1000, 0, LINECALLSELECT_LINE, sizing.data()));
}

TEST_F(TapiServiceTest, CallStatesArriveThroughTheEventLoop) {
    Start();
    Ring(2);
    const auto handles = Scan(2);
    ASSERT_EQ(1u, handles.size());
    const HCALL hCall = handles[0];
    EXPECT_TRUE(events_.empty()) << "delivered from inside a line function";
    QTRY_COMPARE_WITH_TIMEOUT(States(hCall).size(), std::size_t{1}, 2000);
    EXPECT_EQ(LINECALLSTATE_OFFERING, States(hCall)[0]);
    EXPECT_EQ(LINECALLPRIVILEGE_MONITOR, events_[0].param3);

    Scan(2);  // seen again: no second announcement
    QTest::qWait(50);
    EXPECT_EQ(1u, States(hCall).size());

    // Changes by another process arrive while the line is closed.
    Phone().Update([](sim::ExchangeState& s) { s.AnswerOn(2); });
    QTRY_COMPARE_WITH_TIMEOUT(States(hCall).size(), std::size_t{2}, 2000);
    EXPECT_EQ(LINECALLSTATE_CONNECTED, States(hCall)[1]);

    // The program releases a handle from inside the callback when it goes idle.
    onEvent_ = [this](const Event& e) {
        if (e.message == LINE_CALLSTATE && e.param1 == LINECALLSTATE_IDLE) {
            EXPECT_EQ(0, service_->lineDeallocateCall(e.hDevice));
        }
    };
    Phone().Update([](sim::ExchangeState& s) { s.HangupOn(2); });
    QTRY_COMPARE_WITH_TIMEOUT(States(hCall).size(), std::size_t{4}, 2000);
    EXPECT_EQ(LINECALLSTATE_DISCONNECTED, States(hCall)[2]);
    EXPECT_EQ(LINECALLSTATE_IDLE, States(hCall)[3]);
    EXPECT_EQ(LINEERR_INVALCALLHANDLE, service_->lineDeallocateCall(hCall));
}

TEST_F(TapiServiceTest, FirstSightOfAnAnsweredCallReportsConnected) {
    Start();
    const CallId id = Ring(0);
    Phone().Update([id](sim::ExchangeState& s) { s.Answer(id); });
    const auto handles = Scan(0);
    ASSERT_EQ(1u, handles.size());
    QTRY_COMPARE_WITH_TIMEOUT(States(handles[0]).size(), std::size_t{1}, 2000);
    EXPECT_EQ(LINECALLSTATE_CONNECTED, States(handles[0])[0]);
}

TEST_F(TapiServiceTest, NothingArrivesAfterDeallocation) {
    Start();
    Ring(0);
    const HCALL hCall = Scan(0).at(0);
    EXPECT_EQ(0, service_->lineDeallocateCall(hCall));  // before the first event is delivered
    Phone().Update([](sim::ExchangeState& s) { s.AnswerOn(0); });
    QTest::qWait(300);
    Phone().Update([](sim::ExchangeState& s) { s.HangupOn(0); });
    QTest::qWait(500);
    EXPECT_TRUE(events_.empty());
}

TEST_F(TapiServiceTest, CallInfoCarriesTheCallerId) {
    Start();
    Ring(0, "0301234567", "Anna Adler");
    Ring(0, "", "");
    const auto handles = Scan(0);
    ASSERT_EQ(2u, handles.size());

    auto fixed = Buffer(296, 400);
    ASSERT_EQ(0, service_->lineGetCallInfo(handles[0], fixed.data()));
    const DWORD needed = ReadDword(fixed.data(), 296, linecallinfo::dwNeededSize);
    EXPECT_EQ(296u + 11 + 11, needed);
    EXPECT_EQ(296u, ReadDword(fixed.data(), 296, linecallinfo::dwUsedSize));
    EXPECT_EQ(0u, ReadDword(fixed.data(), 296, linecallinfo::dwCallerIDSize));
    for (std::size_t i = 296; i < fixed.size(); ++i) ASSERT_EQ(0xCC, fixed[i]);

    auto info = Buffer(needed, needed);
    ASSERT_EQ(0, service_->lineGetCallInfo(handles[0], info.data()));
    const auto field = [&](DWORD offset) { return ReadDword(info.data(), needed, offset); };
    EXPECT_EQ(needed, field(linecallinfo::dwUsedSize));
    EXPECT_EQ(LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME, field(linecallinfo::dwCallerIDFlags));
    ASSERT_EQ(11u, field(linecallinfo::dwCallerIDSize));
    EXPECT_EQ(0,
              std::memcmp(info.data() + field(linecallinfo::dwCallerIDOffset), "0301234567\0", 11));
    ASSERT_EQ(11u, field(linecallinfo::dwCallerIDNameSize));
    EXPECT_EQ(0, std::memcmp(info.data() + field(linecallinfo::dwCallerIDNameOffset),
                             "Anna Adler\0", 11));

    // No caller id: sizes 0, nothing in the variable part.
    auto bare = Buffer(2344, 2344);
    ASSERT_EQ(0, service_->lineGetCallInfo(handles[1], bare.data()));
    EXPECT_EQ(296u, ReadDword(bare.data(), 2344, linecallinfo::dwNeededSize));
    EXPECT_EQ(0u, ReadDword(bare.data(), 2344, linecallinfo::dwCallerIDSize));
    EXPECT_EQ(0u, ReadDword(bare.data(), 2344, linecallinfo::dwCallerIDNameSize));
    EXPECT_EQ(LINECALLPARTYID_UNKNOWN, ReadDword(bare.data(), 2344, linecallinfo::dwCallerIDFlags));

    // The handle still answers after the call has ended, until it is released.
    Phone().Update([](sim::ExchangeState& s) { s.HangupOn(0); });
    QTRY_COMPARE_WITH_TIMEOUT(States(handles[0]).size(), std::size_t{3}, 2000);
    ASSERT_EQ(0, service_->lineGetCallInfo(handles[0], info.data()));
    EXPECT_EQ(11u, ReadDword(info.data(), needed, linecallinfo::dwCallerIDNameSize));
    EXPECT_EQ(0, service_->lineDeallocateCall(handles[0]));
    EXPECT_EQ(LINEERR_INVALCALLHANDLE, service_->lineGetCallInfo(handles[0], info.data()));
}

TEST_F(TapiServiceTest, DropIsRefusedToAMonitor) {
    Start();
    Ring(0);
    const HCALL hCall = Scan(0).at(0);
    EXPECT_EQ(LINEERR_NOTOWNER, service_->lineDrop(hCall, "", 1));
    EXPECT_EQ(LINEERR_INVALCALLHANDLE, service_->lineDrop(hCall + 1000, "", 1));
    QTest::qWait(300);
    Phone().Refresh();
    EXPECT_EQ(1u, Phone().State().Calls().size());
    EXPECT_EQ(1u, States(hCall).size());
}

TEST_F(TapiServiceTest, AsyncDropRepliesAndEndsTheCall) {
    config_.acceptDrop = true;
    Start();
    Ring(0);
    const HCALL hCall = Scan(0).at(0);
    const LONG request = service_->lineDrop(hCall, "", 1);
    ASSERT_GT(request, 0);
    EXPECT_NE(request, service_->lineDrop(hCall, "", 1));  // each request its own id
    QTRY_COMPARE_WITH_TIMEOUT(States(hCall).size(), std::size_t{3}, 2000);
    auto reply = std::find_if(events_.begin(), events_.end(),
                              [](const Event& e) { return e.message == LINE_REPLY; });
    ASSERT_NE(reply, events_.end());
    EXPECT_EQ(static_cast<DWORD_PTR>(request), reply->param1);
    EXPECT_EQ(0u, reply->param2);
    EXPECT_EQ(LINECALLSTATE_DISCONNECTED, States(hCall)[1]);
    EXPECT_EQ(LINECALLSTATE_IDLE, States(hCall)[2]);
    Phone().Refresh();
    EXPECT_TRUE(Phone().State().Calls().empty());
    EXPECT_EQ(LINEERR_INVALCALLSTATE, service_->lineDrop(hCall, "", 1));
}

TEST_F(TapiServiceTest, DropOfAHungUpCallFromItsDisconnectedEventIsAnswered) {
    config_.acceptDrop = true;
    Start();
    Ring(0);
    const HCALL hCall = Scan(0).at(0);
    LONG request = 0;
    onEvent_ = [&](const Event& e) {
        if (e.message == LINE_CALLSTATE && e.param1 == LINECALLSTATE_DISCONNECTED)
            request = service_->lineDrop(e.hDevice, "", 1);
    };
    Phone().Update([](sim::ExchangeState& s) { s.HangupOn(0); });
    QTRY_VERIFY_WITH_TIMEOUT(std::any_of(events_.begin(), events_.end(),
                                         [](const Event& e) { return e.message == LINE_REPLY; }),
                             2000);
    EXPECT_GT(request, 0);
    EXPECT_EQ(static_cast<DWORD_PTR>(request), events_.back().param1);
    EXPECT_EQ(3u, States(hCall).size());
}

TEST_F(TapiServiceTest, ShutdownRefusesHandlesItDoesNotKnow) {
    Start();
    EXPECT_EQ(LINEERR_INVALAPPHANDLE, service_->lineShutdown(app_ ^ 0x40000000));
    EXPECT_EQ(LINEERR_NOTREGISTERED,
              service_->lineGetRequest(app_, LINEREQUESTMODE_MAKECALL, nullptr));
    Ring(0);
    const HLINE hLine = Open(0);
    NewCalls(hLine);  // an event is now on its way
    EXPECT_EQ(0, service_->lineShutdown(app_));
    QTest::qWait(50);
    EXPECT_TRUE(events_.empty());
    EXPECT_EQ(LINEERR_INVALLINEHANDLE, service_->lineClose(hLine));
    EXPECT_EQ(LINEERR_INVALAPPHANDLE, service_->lineShutdown(app_));
    EXPECT_EQ(LINEERR_INVALAPPHANDLE,
              service_->lineGetRequest(app_, LINEREQUESTMODE_MAKECALL, nullptr));
}

TEST_F(TapiServiceTest, ScanOfManyLinesIsQuick) {
    config_.lines = 1000;
    Start();
    for (DWORD d = 0; d < 1000; d += 100) Ring(d);
    Scan(0);  // first look at the state file
    QElapsedTimer clock;
    clock.start();
    std::size_t calls = 0;
    for (DWORD d = 0; d < 1000; ++d) calls += Scan(d).size();
    const qint64 elapsedUs = clock.nsecsElapsed() / 1000;
    EXPECT_EQ(10u, calls);
    // A Release build needs well under 5 ms; this bound also holds for Debug.
    EXPECT_LT(elapsedUs, 100000);
}

TEST(TapiFactoryTest, FirstRunWritesFourLinesAndAnUnknownProviderServesNone) {
    QTemporaryDir dir;
    const Paths paths = Paths::UnderRoot(dir.path());
    const auto service = CreateTapiService(paths);
    EXPECT_TRUE(QFile::exists(paths.settingsDir + "/telephon.ini"));
    HLINEAPP app = 0;
    DWORD devices = 0;
    ASSERT_EQ(0, service->lineInitialize(&app, 0, {}, "Pelmarsh", &devices));
    EXPECT_EQ(4u, devices);
    EXPECT_EQ(0, service->lineShutdown(app));

    QFile ini(paths.settingsDir + "/telephon.ini");  // an unknown provider serves no lines
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[Provider]\nName=carrier-pigeon\n[Exchange]\nLines=9\n");
    ini.close();
    ASSERT_EQ(0, CreateTapiService(paths)->lineInitialize(&app, 0, {}, "Pelmarsh", &devices));
    EXPECT_EQ(0u, devices);
}

}  // namespace
