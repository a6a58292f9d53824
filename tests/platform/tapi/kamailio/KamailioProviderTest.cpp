// The Kamailio provider behind the TAPI functions, against a real Kamailio
// with the loopback configuration and sipp user agents on 127.0.0.1, driven
// the way the scan and the line callback drive it.
#include <gtest/gtest.h>

#include "SipLab.h"
#include "platform/tapi/TapiService.h"
#include "platform/tapi/kamailio/KamailioProvider.h"

using namespace platform;
using namespace platform::kamailio;

namespace {

class KamailioServer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SipLab::Available())
            GTEST_SKIP() << "kamailio, kamailio-extra-modules or sipp missing";
        ASSERT_TRUE(lab_.StartKamailio()) << lab_.Diagnostics().toStdString();
        const std::string config = "[Kamailio]\nRpc=" + lab_.RpcUrl().toStdString() +
                                   "\nEvents=" + lab_.Events().toStdString() +
                                   "\nLine1=101\nLine1Name=Front desk\nLine2=102\n";
        service_ = std::make_unique<TapiService>(
            std::make_unique<KamailioProvider>(KamailioConfig::Parse(config)));
        ASSERT_EQ(0, service_->lineInitialize(
                         &app_, 0,
                         [this](DWORD call, DWORD message, DWORD_PTR, DWORD_PTR state, DWORD_PTR,
                                DWORD_PTR) {
                             if (message != LINE_CALLSTATE) return;
                             states_.push_back(static_cast<DWORD>(state));
                             if (state == LINECALLSTATE_OFFERING) callers_.push_back(Caller(call));
                             if (state == LINECALLSTATE_IDLE) service_->lineDeallocateCall(call);
                         },
                         "test", &devices_));
    }
    void TearDown() override {
        if (service_) service_->lineShutdown(app_);
    }
    // What a scan reads: lineOpen's error, or the number of calls.
    LONG Scan(DWORD device) {
        HLINE line = 0;
        const LONG result =
            service_->lineOpen(app_, device, &line, 0x00020002, 0, 0, LINECALLPRIVILEGE_MONITOR,
                               LINEMEDIAMODE_DATAMODEM, nullptr);
        if (result != 0) return result;
        std::vector<BYTE> list(1024, 0);
        WriteDword(list.data(), 1024, 0, 1024);
        EXPECT_EQ(0, service_->lineGetNewCalls(line, 0, LINECALLSELECT_LINE, list.data()));
        service_->lineClose(line);
        return static_cast<LONG>(ReadDword(list.data(), 1024, linecalllist::dwCallsNumEntries));
    }
    static constexpr LONG kOpen = -1, kClosed = -2;  // any number of calls; any error
    bool WaitScan(DWORD device, LONG wanted, int ms) {
        return SipLab::WaitFor(
            [&] {
                const LONG scan = Scan(device);
                return wanted == kOpen ? scan >= 0 : wanted == kClosed ? scan < 0 : scan == wanted;
            },
            ms);
    }
    bool WaitState(DWORD state, int ms) {
        return SipLab::WaitFor(
            [&] { return std::find(states_.begin(), states_.end(), state) != states_.end(); }, ms);
    }
    std::string Caller(HCALL call) {  // "number|name"
        std::vector<BYTE> info(4096, 0);
        WriteDword(info.data(), 4096, 0, 4096);
        if (service_->lineGetCallInfo(call, info.data()) != 0) return "no call info";
        const auto text = [&](DWORD sizeAt) {
            const DWORD size = ReadDword(info.data(), 4096, sizeAt);
            const DWORD offset = ReadDword(info.data(), 4096, sizeAt + 4);
            return size == 0 ? std::string()
                             : std::string(reinterpret_cast<char*>(info.data()) + offset, size - 1);
        };
        return text(linecallinfo::dwCallerIDSize) + "|" + text(linecallinfo::dwCallerIDNameSize);
    }

    SipLab lab_{25060};
    std::unique_ptr<TapiService> service_;
    HLINEAPP app_ = 0;
    DWORD devices_ = 0;
    std::vector<DWORD> states_;
    std::vector<std::string> callers_;
};

TEST_F(KamailioServer, CallsAreOfferedWithCallerIdOnlineForTheirDurationThenIdle) {
    ASSERT_EQ(devices_, 2u);
    ASSERT_TRUE(WaitScan(0, kOpen, 3000));  // open at once when the server answers
    ASSERT_TRUE(lab_.StartExtension(2500, 2));
    QProcess* caller = lab_.Call("101", "5551234", R"("Ada \"the\" Lovelace")", 1500);
    ASSERT_TRUE(WaitScan(0, 1, 3000)) << lab_.Diagnostics().toStdString();
    EXPECT_EQ(Scan(1), 0);
    ASSERT_TRUE(WaitState(LINECALLSTATE_CONNECTED, 4000));
    EXPECT_EQ(Scan(0), 1);  // online for the whole call
    ASSERT_TRUE(SipLab::Finished(caller, 6000)) << lab_.Diagnostics().toStdString();
    ASSERT_TRUE(WaitScan(0, 0, 2000));
    ASSERT_TRUE(WaitState(LINECALLSTATE_IDLE, 2000));
    EXPECT_EQ(states_, (std::vector<DWORD>{LINECALLSTATE_OFFERING, LINECALLSTATE_CONNECTED,
                                           LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE}));
    EXPECT_EQ(callers_, std::vector<std::string>{"5551234|Ada \"the\" Lovelace"});

    // Cancelled while ringing: it ends without ever connecting.
    states_.clear();
    callers_.clear();
    caller = lab_.Call("102", "777", "Bob", 1000, /*cancel=*/true);
    ASSERT_TRUE(WaitScan(1, 1, 3000)) << lab_.Diagnostics().toStdString();
    ASSERT_TRUE(SipLab::Finished(caller, 5000)) << lab_.Diagnostics().toStdString();
    ASSERT_TRUE(WaitScan(1, 0, 2000));
    ASSERT_TRUE(WaitState(LINECALLSTATE_IDLE, 2000));
    EXPECT_EQ(states_, (std::vector<DWORD>{LINECALLSTATE_OFFERING, LINECALLSTATE_DISCONNECTED,
                                           LINECALLSTATE_IDLE}));
    EXPECT_EQ(callers_, std::vector<std::string>{"777|Bob"});
}

TEST_F(KamailioServer, LinesFailWhileTheServerIsDownAndComeBackWithIt) {
    ASSERT_TRUE(WaitScan(0, kOpen, 3000));
    lab_.StopKamailio();
    EXPECT_TRUE(WaitScan(0, kClosed, 2000));
    EXPECT_EQ(Scan(1), LINEERR_RESOURCEUNAVAIL);
    EXPECT_EQ(Scan(2), LINEERR_BADDEVICEID);
    // Stays down while nobody answers, through several retries.
    SipLab::WaitFor([] { return false; }, 1500);
    EXPECT_TRUE(WaitScan(0, kClosed, 100));
    ASSERT_TRUE(lab_.StartKamailio()) << lab_.Diagnostics().toStdString();
    EXPECT_TRUE(WaitScan(0, kOpen, 4000));
    EXPECT_TRUE(WaitScan(1, 0, 1000));
}

}  // namespace
