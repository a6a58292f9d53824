#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "FakeClock.h"
#include "FakeNotifyIcon.h"
#include "NonRegularFiles.h"
#include "RecordingTapi.h"
#include "core/AppState.h"
#include "platform/Utf8Text.h"
#include "platform/registry/FileRegistry.h"
#include "shell/TrayIcon.h"
#include "telephony/CallBacks.h"
#include "telephony/IncomingCallLog.h"
#include "telephony/Tapi.h"

using namespace platform;

namespace {

class CallBacksTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Paths paths = Paths::UnderRoot(dir.path());
    FileRegistry registry{dir.path() + "/registry"};
    RecordingTapi api{{}, paths};
    AppState state;
    FakeNotifyIcon shell;
    TrayIcon tray{shell, state.trayIconData};
    Tapi tapi{api, registry, state.session, tray};
    FakeClock clock{QDateTime(QDate(2026, 12, 5), QTime(21, 45, 4))};
    QString path = dir.path() + "/In.log";
    IncomingCallLog log{tapi, state.session, clock, path};
    CallBacks callbacks{tapi, state.session, state.command, log};

    void SetUp() override {
        tapi.InitializeTapi({});
        api.log.clear();
    }
    // A call rings on line 1 and the session takes a handle to it, as a scan would.
    HCALL Offer(const std::string& number, const std::string& name) {
        api.Exchange().Store().Update([&](sim::ExchangeState& s) { s.Ring(0, number, name); });
        HLINE line = 0;
        api.lineOpen(api.app, 0, &line, 0x00020002, 0, 0, LINECALLPRIVILEGE_MONITOR,
                     LINEMEDIAMODE_DATAMODEM, nullptr);
        std::vector<BYTE> list(4096);
        const DWORD size = static_cast<DWORD>(list.size());
        WriteDword(list.data(), size, linecalllist::dwTotalSize, size);
        api.lineGetNewCalls(line, 0, LINECALLSELECT_LINE, list.data());
        api.lineClose(line);
        api.log.clear();
        const DWORD calls = ReadDword(list.data(), size, linecalllist::dwCallsNumEntries);
        const DWORD offset = ReadDword(list.data(), size, linecalllist::dwCallsOffset);
        return ReadDword(list.data(), size, offset + 4 * (calls - 1));  // the newest
    }
    void CallState(HCALL call, DWORD newState) {
        callbacks.LineCallback(call, LINE_CALLSTATE, 0, newState, 0, 0);
    }
    QList<QByteArray> Lines() {
        EXPECT_TRUE(log.WaitWritten(5000));
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return {};
        QList<QByteArray> lines = f.readAll().split('\n');
        for (QByteArray& l : lines) l.replace("\r", "");
        if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
        return lines;
    }
};

TEST_F(CallBacksTest, CallStatesRepliesAndRequestsAreHandledAsTheyCome) {
    CallState(31, LINECALLSTATE_CONNECTED);
    EXPECT_EQ(state.session.hCall, 31u);
    CallState(31, LINECALLSTATE_IDLE);  // releases the call
    EXPECT_EQ(state.session.hCall, 0u);
    EXPECT_EQ(api.log, (std::vector<std::string>{"lineDeallocateCall 31", "lineGetRequest"}));
    CallState(32, LINECALLSTATE_DIALTONE), CallState(32, LINECALLSTATE_DIALING);
    EXPECT_EQ(state.session.hCall, 32u);
    // A disconnected call is dropped only after the test command.
    CallState(5, LINECALLSTATE_DISCONNECTED);
    EXPECT_EQ(api.log.size(), 2u);
    state.command.testRequested = true;
    CallState(5, LINECALLSTATE_DISCONNECTED);
    EXPECT_EQ(api.Count("lineDrop 5"), 1);
    // Only the matching reply clears the pending drop.
    api.log.clear();
    state.session.pendingDropRequest = 7;
    callbacks.LineCallback(0, LINE_REPLY, 0, 8, 0, 0);
    EXPECT_EQ(state.session.pendingDropRequest, 7);
    callbacks.LineCallback(0, LINE_REPLY, 0, 7, 0, 0);
    EXPECT_EQ(state.session.pendingDropRequest, 0);
    callbacks.LineCallback(0, LINE_REQUEST, 0, 0, 0, 0), callbacks.LineCallback(0, 99, 0, 0, 0, 0);
    EXPECT_EQ(api.log, std::vector<std::string>{"lineGetRequest"});
}

TEST_F(CallBacksTest, AnOfferedCallIsLoggedInFixedColumnsUnderTheHeaders) {
    CallState(Offer("5551234", ""), LINECALLSTATE_OFFERING);
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "Warning: This file is not to be edited!!!");
    EXPECT_EQ(lines[1],
              "To print this file in the tabular format use \"\"Print Incoming Calls Log\"\" from "
              "Pelmarsh menu.");
    EXPECT_EQ(lines[2].toStdString(), " Unknown Caller" + std::string(28, ' ') + "5551234" +
                                          std::string(48, ' ') + "12-05-2026  21:45:04");
    EXPECT_EQ(log.LastCaller().number, "5551234");
}

std::string Times(std::size_t n, const std::string& character) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += character;
    return text;
}

TEST_F(CallBacksTest, LongMissingOrControlCharacterCallerIdsKeepTheColumns) {
    // Cut after 38 / 52 characters, never inside one, whatever its width in bytes.
    for (const std::string c : {"n", "\u00FC", "\u96FB", "\U0001F4DE"}) {
        EXPECT_EQ(IncomingCallLog::ShownName(Times(40, c)), Times(38, c) + "*") << c;
        EXPECT_EQ(IncomingCallLog::ShownName(Times(37, c)), Times(37, c)) << c;
        EXPECT_EQ(IncomingCallLog::ShownNumber(Times(60, c)), Times(52, c) + "*") << c;
        const std::string record = IncomingCallLog::Record(Times(39, c), Times(53, c), clock.Now());
        EXPECT_EQ(Utf8Text::Length(record), 118u) << c;
    }
    EXPECT_EQ(IncomingCallLog::ShownNumber(""), "Unknown #");
    CallState(Offer(std::string(60, '9'), std::string(40, 'n')), LINECALLSTATE_OFFERING);
    // Control characters can neither break nor forge a line.
    CallState(Offer("555\r\n 1", "Evil\r\nWarning: forged\tline"), LINECALLSTATE_OFFERING);
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[2].size() == 118 && lines[3].size() == 118);
    EXPECT_TRUE(lines[3].startsWith(" Evil||Warning: forged|line"));
}

TEST_F(CallBacksTest, CallInfoFailuresLogNothingAndTheSecondQueryKeepsToItsBuffer) {
    const HCALL failing = Offer("1", "a");
    api.forced["lineGetCallInfo"] = LINEERR_INVALCALLHANDLE;
    CallState(failing, LINECALLSTATE_OFFERING);
    EXPECT_EQ(api.Count("lineDrop " + std::to_string(failing)), 1);  // the first query failed
    EXPECT_TRUE(Lines().isEmpty());
    api.forced.clear();
    api.inflateCallInfo = 10'000'000;  // a service that asks for far more than it needs
    CallState(Offer("1", "a"), LINECALLSTATE_OFFERING);
    EXPECT_LE(api.largestCallInfo, 1u << 16);
    EXPECT_GE(api.largestCallInfo, IncomingCallLog::kCallInfoSize);
}

TEST_F(CallBacksTest, AnUnwritableLogIsAbsorbedAndADeletedOneRecreatedWithItsHeaders) {
    QDir(dir.path()).mkdir("In.log");  // a folder where the file should be
    const HCALL call = Offer("1", "a");
    CallState(call, LINECALLSTATE_OFFERING);
    ASSERT_TRUE(log.WaitWritten(5000));  // refused while the folder is there
    QDir(dir.path()).rmdir("In.log");
    CallState(call, LINECALLSTATE_OFFERING), CallState(call, LINECALLSTATE_OFFERING);
    EXPECT_EQ(Lines().size(), 4);
    QFile::remove(path);
    CallState(call, LINECALLSTATE_OFFERING);
    EXPECT_EQ(Lines().size(), 3);
    EXPECT_EQ(ModeOf(path), 0600);
    // A FIFO in its place is not waited on (it has no reader) nor written through.
    QFile::remove(path);
    ASSERT_TRUE(MakeFifo(path));
    EXPECT_EQ(ExitCodeWithin(5000, [&] { return log.Append({"record"}) ? 1 : 0; }), 0);
    EXPECT_TRUE(IsFifo(path));
}

}  // namespace
