// The Kamailio provider behind the TAPI functions, against a real Kamailio
// with the loopback configuration and sipp user agents on 127.0.0.1. Each
// test drives lines the way the scan and the line callback do.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <vector>

#include "SipLab.h"
#include "platform/tapi/TapiService.h"
#include "platform/tapi/kamailio/KamailioProvider.h"

using namespace platform;
using namespace platform::kamailio;

namespace {

struct Event {
    HCALL call;
    DWORD state;
};

KamailioConfig Config(const QString& rpc, const QString& events) {
    std::string text = "[Kamailio]\nRpc=" + rpc.toStdString() + "\nEvents=" + events.toStdString() +
                       "\nLine1=101\nLine1Name=Front desk\nLine2=102\n";
    return KamailioConfig::Parse(text);
}

// One session, used as the program uses it.
class Session {
public:
    explicit Session(KamailioConfig config)
        : service_(std::make_unique<KamailioProvider>(std::move(config))) {
        DWORD devices = 0;
        service_.lineInitialize(
            &app_, 0,
            [this](DWORD device, DWORD message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR, DWORD_PTR) {
                if (message != LINE_CALLSTATE) return;
                events_.push_back({device, static_cast<DWORD>(param1)});
                if (param1 == LINECALLSTATE_OFFERING) Info(device);
                if (param1 == LINECALLSTATE_IDLE) service_.lineDeallocateCall(device);
            },
            "test", &devices);
        devices_ = devices;
    }
    ~Session() { service_.lineShutdown(app_); }

    DWORD Devices() const { return devices_; }
    // lineOpen's result, and the call count as a scan reads it.
    LONG Scan(DWORD device, DWORD* count) {
        HLINE line = 0;
        const LONG result =
            service_.lineOpen(app_, device, &line, 0x00020002, 0, 0, LINECALLPRIVILEGE_MONITOR,
                              LINEMEDIAMODE_DATAMODEM, nullptr);
        if (result != 0) return result;
        BYTE probe[linecalllist::kFixedSize] = {};
        WriteDword(probe, sizeof probe, 0, sizeof probe);
        service_.lineGetNewCalls(line, 0, LINECALLSELECT_LINE, probe);
        const DWORD needed = ReadDword(probe, sizeof probe, linecalllist::dwNeededSize);
        std::vector<BYTE> list(needed, 0);
        WriteDword(list.data(), needed, 0, needed);
        service_.lineGetNewCalls(line, 0, LINECALLSELECT_LINE, list.data());
        *count = ReadDword(list.data(), needed, linecalllist::dwCallsNumEntries);
        service_.lineClose(line);
        return 0;
    }
    bool WaitOpen(DWORD device, bool open, int ms) {
        DWORD count = 0;
        return SipLab::WaitFor([&] { return (Scan(device, &count) == 0) == open; }, ms);
    }
    bool WaitCount(DWORD device, DWORD wanted, int ms) {
        DWORD count = 99;
        return SipLab::WaitFor([&] { return Scan(device, &count) == 0 && count == wanted; }, ms);
    }
    bool Saw(DWORD state) const {
        return std::any_of(events_.begin(), events_.end(),
                           [state](const Event& e) { return e.state == state; });
    }
    std::vector<DWORD> States() const {
        std::vector<DWORD> states;
        for (const Event& e : events_) states.push_back(e.state);
        return states;
    }
    std::vector<std::pair<std::string, std::string>> callers;  // number, name per OFFERING

private:
    void Info(HCALL call) {
        std::vector<BYTE> info(4096, 0);
        WriteDword(info.data(), 4096, 0, 4096);
        if (service_.lineGetCallInfo(call, info.data()) != 0) return;
        auto text = [&](DWORD sizeAt, DWORD offsetAt) {
            const DWORD size = ReadDword(info.data(), 4096, sizeAt);
            const DWORD offset = ReadDword(info.data(), 4096, offsetAt);
            return size == 0 ? std::string()
                             : std::string(reinterpret_cast<char*>(info.data()) + offset, size - 1);
        };
        callers.emplace_back(
            text(linecallinfo::dwCallerIDSize, linecallinfo::dwCallerIDOffset),
            text(linecallinfo::dwCallerIDNameSize, linecallinfo::dwCallerIDNameOffset));
    }

    TapiService service_;
    HLINEAPP app_ = 0;
    DWORD devices_ = 0;
    std::vector<Event> events_;
};

TEST(KamailioProvider, WithoutAServerTheLinesExistButCannotBeOpened) {
    // A port nobody listens on: bound here, then released.
    QTcpServer spare;
    ASSERT_TRUE(spare.listen(QHostAddress::LocalHost));
    const QString address = QString("127.0.0.1:%1").arg(spare.serverPort());
    spare.close();
    Session session(Config("http://" + address + "/RPC", address));
    ASSERT_EQ(session.Devices(), 2u);
    DWORD count = 0;
    EXPECT_EQ(session.Scan(0, &count), LINEERR_RESOURCEUNAVAIL);
    EXPECT_EQ(session.Scan(1, &count), LINEERR_RESOURCEUNAVAIL);
    EXPECT_EQ(session.Scan(2, &count), LINEERR_BADDEVICEID);
}

class KamailioServer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SipLab::Available())
            GTEST_SKIP() << "kamailio, kamailio-extra-modules or sipp missing";
        ASSERT_TRUE(lab.StartKamailio()) << lab.Diagnostics().toStdString();
    }
    KamailioConfig LabConfig() const { return Config(lab.RpcUrl(), lab.Events()); }

    SipLab lab{25060};
};

TEST_F(KamailioServer, ARingingCallIsOfferedWithCallerIdThenConnectedThenGone) {
    Session session(LabConfig());
    ASSERT_TRUE(session.WaitOpen(0, true, 3000));  // open at once when the server answers
    ASSERT_TRUE(lab.StartExtension(1500, 1));
    QProcess* caller = lab.Call("101", "5551234", R"("Ada \"the\" Lovelace")", 1500);
    ASSERT_TRUE(session.WaitCount(0, 1, 3000)) << lab.Diagnostics().toStdString();
    DWORD other = 99;
    EXPECT_EQ(session.Scan(1, &other), 0);
    EXPECT_EQ(other, 0u);
    ASSERT_TRUE(SipLab::WaitFor([&] { return session.Saw(LINECALLSTATE_CONNECTED); }, 4000));
    DWORD count = 0;
    EXPECT_EQ(session.Scan(0, &count), 0);
    EXPECT_EQ(count, 1u);  // online for the whole call
    ASSERT_TRUE(SipLab::Finished(caller, 6000)) << lab.Diagnostics().toStdString();
    ASSERT_TRUE(session.WaitCount(0, 0, 2000));
    ASSERT_TRUE(SipLab::WaitFor([&] { return session.Saw(LINECALLSTATE_IDLE); }, 2000));
    EXPECT_EQ(session.States(),
              (std::vector<DWORD>{LINECALLSTATE_OFFERING, LINECALLSTATE_CONNECTED,
                                  LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE}));
    ASSERT_EQ(session.callers.size(), 1u);
    EXPECT_EQ(session.callers[0].first, "5551234");
    EXPECT_EQ(session.callers[0].second, "Ada \"the\" Lovelace");
}

TEST_F(KamailioServer, ACancelledCallEndsWithoutEverConnecting) {
    Session session(LabConfig());
    ASSERT_TRUE(lab.StartExtension(5000, 1));
    QProcess* caller = lab.Call("102", "777", "Bob", 1200, /*cancel=*/true);
    ASSERT_TRUE(session.WaitCount(1, 1, 3000)) << lab.Diagnostics().toStdString();
    ASSERT_TRUE(SipLab::Finished(caller, 5000)) << lab.Diagnostics().toStdString();
    ASSERT_TRUE(session.WaitCount(1, 0, 2000));
    ASSERT_TRUE(SipLab::WaitFor([&] { return session.Saw(LINECALLSTATE_IDLE); }, 2000));
    EXPECT_EQ(session.States(),
              (std::vector<DWORD>{LINECALLSTATE_OFFERING, LINECALLSTATE_DISCONNECTED,
                                  LINECALLSTATE_IDLE}));
    ASSERT_EQ(session.callers.size(), 1u);
    EXPECT_EQ(session.callers[0], std::make_pair(std::string("777"), std::string("Bob")));
}

TEST_F(KamailioServer, LinesFailWhileTheServerIsDownAndComeBackWithIt) {
    Session session(LabConfig());
    ASSERT_TRUE(session.WaitOpen(0, true, 3000));
    lab.StopKamailio();
    EXPECT_TRUE(session.WaitOpen(0, false, 2000));
    EXPECT_TRUE(session.WaitOpen(1, false, 100));
    // Stays down while nobody answers, through several retries.
    SipLab::WaitFor([] { return false; }, 1500);
    EXPECT_TRUE(session.WaitOpen(0, false, 100));
    ASSERT_TRUE(lab.StartKamailio()) << lab.Diagnostics().toStdString();
    EXPECT_TRUE(session.WaitOpen(0, true, 4000));
    EXPECT_TRUE(session.WaitCount(1, 0, 1000));
}

}  // namespace
