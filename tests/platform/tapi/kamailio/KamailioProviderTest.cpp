// The Kamailio provider behind the TAPI functions, against a real Kamailio
// with the loopback configuration and sipp user agents on 127.0.0.1, driven
// the way the scan and the line callback drive it.
#include <gtest/gtest.h>

#include "SipLab.h"
#include "platform/tapi/TapiService.h"
#include "platform/tapi/TelephonyConfig.h"
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
            std::make_unique<KamailioProvider>(TelephonyConfig::Parse(config).Kamailio()));
        const auto callback = [this](DWORD call, DWORD message, DWORD_PTR, DWORD_PTR state,
                                     DWORD_PTR, DWORD_PTR) {
            if (message != LINE_CALLSTATE) return;
            states_.push_back(static_cast<DWORD>(state));
            if (state == LINECALLSTATE_OFFERING) callers_.push_back(Caller(call));
            if (state == LINECALLSTATE_IDLE) service_->lineDeallocateCall(call);
        };
        ASSERT_EQ(0, service_->lineInitialize(&app_, 0, callback, "test", &devices_));
    }
    void TearDown() override {
        if (service_) service_->lineShutdown(app_);
    }
    // What a scan reads: lineOpen's error, or the number of calls.
    LONG Scan(DWORD device) {
        HLINE line = 0;
        std::vector<BYTE> list(1024, 0);
        WriteDword(list.data(), 1024, 0, 1024);
        if (const LONG result =
                service_->lineOpen(app_, device, &line, 0x00020002, 0, 0, LINECALLPRIVILEGE_MONITOR,
                                   LINEMEDIAMODE_DATAMODEM, nullptr))
            return result;
        EXPECT_EQ(0, service_->lineGetNewCalls(line, 0, LINECALLSELECT_LINE, list.data()));
        service_->lineClose(line);
        return static_cast<LONG>(ReadDword(list.data(), 1024, linecalllist::dwCallsNumEntries));
    }
    // Until a scan gives `wanted` calls; kOpen: any number, kClosed: an error.
    static constexpr LONG kOpen = -1, kClosed = -2;
    bool WaitScan(DWORD device, LONG wanted, int ms) {
        const auto seen = [&](LONG scan) {
            return wanted < 0 ? (scan < 0) == (wanted == kClosed) : scan == wanted;
        };
        return SipLab::WaitFor([&] { return seen(Scan(device)); }, ms);
    }
    bool WaitState(DWORD state, int ms) {
        return SipLab::WaitFor([&] { return std::ranges::count(states_, state) > 0; }, ms);
    }
    std::string Caller(HCALL call) {  // "number|name"
        std::vector<char> info(4096, 0);
        WriteDword((BYTE*)info.data(), 4096, 0, 4096);
        const auto text = [&](DWORD sizeAt) {
            const DWORD size = ReadDword((BYTE*)info.data(), 4096, sizeAt);
            return std::string(&info[ReadDword((BYTE*)info.data(), 4096, sizeAt + 4)],
                               size ? size - 1 : 0);
        };
        if (service_->lineGetCallInfo(call, (BYTE*)info.data()) != 0) return "no call info";
        return text(linecallinfo::dwCallerIDSize) + "|" + text(linecallinfo::dwCallerIDNameSize);
    }

    SipLab lab_;
    std::unique_ptr<TapiService> service_;
    HLINEAPP app_ = 0;
    DWORD devices_ = 0;
    std::vector<DWORD> states_;
    std::vector<std::string> callers_;
};

TEST_F(KamailioServer, CallsAreOfferedWithCallerIdOnlineForTheirDurationThenIdle) {
    ASSERT_EQ(devices_, 2u);
    ASSERT_TRUE(WaitScan(0, kOpen, 3000));  // open at once when the server answers
    ASSERT_TRUE(lab_.StartExtension(2500, 1));
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
