#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "FakeNotifyIcon.h"
#include "RecordingTapi.h"
#include "platform/registry/FileRegistry.h"
#include "shell/TrayIcon.h"
#include "telephony/Tapi.h"

using namespace platform;

namespace {

class TapiTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Paths paths = Paths::UnderRoot(dir.path());
    FileRegistry registry{dir.path() + "/registry"};
    RecordingTapi api{Exchange({}), paths};
    TapiSession session;
    FakeNotifyIcon shell;
    NOTIFYICONDATA record;
    TrayIcon tray{shell, record};
    Tapi tapi{api, registry, session, tray};

    std::optional<std::string> Published() {
        HKEY key = 0;
        if (registry.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Orlwen\\Pelmarsh", 0, KEY_READ,
                                   &key) != 0)
            return std::nullopt;
        BYTE data[64];
        DWORD size = sizeof data, type = 0;
        const LONG r = registry.RegQueryValueExA(key, "hTapi", nullptr, &type, data, &size);
        registry.RegCloseKey(key);
        return r ? std::nullopt : std::optional(std::string(reinterpret_cast<char*>(data), size));
    }
    static sim::ExchangeConfig Exchange(const std::vector<sim::LineConfig>& lines) {
        sim::ExchangeConfig config;
        config.lines = static_cast<DWORD>(std::max<std::size_t>(lines.size(), 2));
        for (std::size_t d = 0; d < lines.size(); ++d) config.EditLine(d) = lines[d];
        return config;
    }
    std::optional<std::string> NameOf(const std::string& stored) {
        RecordingTapi named{Exchange({{stored}}), paths};
        TapiSession own;
        Tapi reader{named, registry, own, tray};
        reader.InitializeTapi({});
        return Tapi::LineName(reader.GetLineCaps(0));
    }
};

// The session handle is published as signed decimal, a failure as 0 with no
// devices; shutdown withdraws it only when the session ended.
TEST_F(TapiTest, InitializePublishesTheSessionHandleAndShutdownWithdrawsIt) {
    api.forced["lineInitialize"] = LINEERR_NODEVICE;
    tapi.InitializeTapi({});
    EXPECT_EQ(std::tuple(session.numLineDevices, Published()),
              std::tuple(0u, std::optional<std::string>("0")));
    api.forced.clear();
    tapi.InitializeTapi({});
    EXPECT_EQ(std::tuple(session.numLineDevices, Published()),
              std::tuple(2u, std::optional(std::to_string(static_cast<LONG>(api.app)))));
    session.hLineApp = api.app + 999;  // stale: not a session of this service
    tapi.ShutdownTapi();
    EXPECT_TRUE(Published());
    session.hLineApp = api.app;
    tapi.ShutdownTapi();
    EXPECT_FALSE(Published());
}

TEST_F(TapiTest, LineNamesFollowTheForgivingSubstringRule) {
    EXPECT_EQ(NameOf("Sales desk"), "Sales desk");
    EXPECT_EQ(NameOf(std::string("A\0B", 3)), "A|B");
    EXPECT_EQ(NameOf("Tab\there\r\n"), "Tab|here||");
    EXPECT_EQ(NameOf(""), "");
    // Whatever the service's bytes, the name is valid UTF-8.
    EXPECT_EQ(NameOf("Sales desk \u2014 Z\u00FCrich"), "Sales desk \u2014 Z\u00FCrich");
    EXPECT_EQ(NameOf("Z\xFCrich\xC2\x85"), "Z\u00FCrich|");
}

TEST_F(TapiTest, NameSizesOutsideTheAreaNeverFail) {
    std::vector<BYTE> caps(Tapi::kDevCapsSize, 0);
    WriteDword(caps.data(), 2288, 8, 300);
    WriteDword(caps.data(), 2288, 32, 0);  // size 0
    WriteDword(caps.data(), 2288, 36, 240);
    EXPECT_EQ(Tapi::LineName(caps), "");
    WriteDword(caps.data(), 2288, 32, 5000);  // runs past the end: cut there
    caps[2287] = 'z';
    EXPECT_EQ(Tapi::LineName(caps)->size(), 2048u);
    WriteDword(caps.data(), 2288, 36, 100);  // before the area
    EXPECT_EQ(Tapi::LineName(caps), "");
    WriteDword(caps.data(), 2288, 36, 9999);  // beyond the area
    EXPECT_EQ(Tapi::LineName(caps), "");
    // A size that ends inside a character: the half left is read as Latin-1.
    const std::string name = "Z\u00FC";
    std::copy(name.begin(), name.end(), caps.begin() + 240);
    WriteDword(caps.data(), 2288, 32, 3);
    WriteDword(caps.data(), 2288, 36, 240);
    EXPECT_EQ(Tapi::LineName(caps), "Z\u00C3");
}

TEST_F(TapiTest, AFailedCapabilityQueryGivesNoNameAndKeepsTheVersion) {
    RecordingTapi three{Exchange({{"one", false, false, {0x00010003, 0x00010004}},
                                  {"two", true},
                                  {"three", false, false, {0, 0}}}),
                        paths};
    Tapi tapi{three, registry, session, tray};
    tapi.InitializeTapi({});
    EXPECT_TRUE(Tapi::LineName(tapi.GetLineCaps(0)));
    EXPECT_FALSE(Tapi::LineName(tapi.GetLineCaps(1)));
    EXPECT_EQ(session.apiVersion, 0x00020002u);  // device 1 negotiated, then its caps failed
    EXPECT_FALSE(Tapi::LineName(tapi.GetLineCaps(2)));
    EXPECT_EQ(session.apiVersion, 0x00020002u);
}

TEST_F(TapiTest, CallControlEdgeCasesAndCloseRefreshesTheTrayOnlyWhenItWorked) {
    tapi.InitializeTapi({});
    tapi.DropCall();
    EXPECT_EQ(api.Count("lineDrop"), 0);
    HCALL none = 0, held = 55;  // unknown to the service: released all the same
    tapi.DeallocateCall(none);
    tapi.DeallocateCall(held);
    EXPECT_EQ(held, 0u);
    EXPECT_EQ(api.Count("lineDeallocateCall"), 1);
    EXPECT_EQ(api.Count("lineDeallocateCall 55"), 1);

    session.hCall = 8;
    tapi.DropCall();
    EXPECT_EQ(session.pendingDropRequest, 0);  // refused: monitor privilege only
    api.forced["lineDrop"] = 7;
    tapi.DropCall();
    EXPECT_EQ(session.pendingDropRequest, 7);
    session.hLine = 101;  // not open
    tapi.CloseLine();
    EXPECT_TRUE(shell.calls.empty());
    ASSERT_EQ(api.lineOpen(session.hLineApp, 0, &session.hLine, 0x00020002, 0, 0,
                           LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_DATAMODEM, nullptr),
              0);
    tapi.CloseLine();
    EXPECT_EQ(shell.calls, std::vector<DWORD>{NIM_MODIFY});
    EXPECT_EQ(std::string(shell.last.szTip), "Vastrel");
}

}  // namespace
