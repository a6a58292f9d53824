#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "FakeClock.h"
#include "FakeNotifyIcon.h"
#include "FakeTapi.h"
#include "NonRegularFiles.h"
#include "core/AppState.h"
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
    FileRegistry registry{dir.path() + "/registry"};
    FakeTapi api;
    AppState state;
    FakeNotifyIcon shell;
    TrayIcon tray{shell, state.trayIconData};
    Tapi tapi{api, registry, state.session, tray};
    FakeClock clock{QDateTime(QDate(2026, 12, 5), QTime(21, 45, 4))};
    QString path = dir.path() + "/In.log";
    IncomingCallLog log{tapi, state.session, clock, path};
    CallBacks callbacks{tapi, state.session, state.command, log};

    void CallState(HCALL call, DWORD newState) {
        callbacks.LineCallback(call, LINE_CALLSTATE, 0, newState, 0, 0);
    }
    QList<QByteArray> Lines() {
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
    api.calls[40] = {"5551234", ""};
    CallState(40, LINECALLSTATE_OFFERING);
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

TEST_F(CallBacksTest, LongMissingOrControlCharacterCallerIdsKeepTheColumns) {
    EXPECT_EQ(IncomingCallLog::ShownName(std::string(40, 'n')), std::string(38, 'n') + "*");
    EXPECT_EQ(IncomingCallLog::ShownName(std::string(37, 'n')), std::string(37, 'n'));
    EXPECT_EQ(IncomingCallLog::ShownNumber(std::string(60, '9')), std::string(52, '9') + "*");
    EXPECT_EQ(IncomingCallLog::ShownNumber(""), "Unknown #");
    api.calls[41] = {std::string(60, '9'), std::string(40, 'n')};
    CallState(41, LINECALLSTATE_OFFERING);
    // Control characters can neither break nor forge a line.
    api.calls[42] = {"555\r\n 1", "Evil\r\nWarning: forged\tline"};
    CallState(42, LINECALLSTATE_OFFERING);
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[2].size() == 118 && lines[3].size() == 118);
    EXPECT_TRUE(lines[3].startsWith(" Evil||Warning: forged|line"));
}

TEST_F(CallBacksTest, CallInfoFailuresLogNothingAndTheSecondQueryKeepsToItsBuffer) {
    api.calls[43] = {"1", "a", true};
    CallState(43, LINECALLSTATE_OFFERING);
    EXPECT_EQ(api.Count("lineDrop 43"), 1);  // the first query failed
    EXPECT_TRUE(Lines().isEmpty());
    api.calls[44] = {"1", "a", false, 10'000'000};
    CallState(44, LINECALLSTATE_OFFERING);
    EXPECT_LE(api.lastCallInfoTotal, 1u << 16);
    EXPECT_GE(api.lastCallInfoTotal, IncomingCallLog::kCallInfoSize);
}

TEST_F(CallBacksTest, AnUnwritableLogIsAbsorbedAndADeletedOneRecreatedWithItsHeaders) {
    QDir(dir.path()).mkdir("In.log");  // a folder where the file should be
    api.calls[45] = {"1", "a"};
    CallState(45, LINECALLSTATE_OFFERING);
    QDir(dir.path()).rmdir("In.log");
    CallState(45, LINECALLSTATE_OFFERING), CallState(45, LINECALLSTATE_OFFERING);
    EXPECT_EQ(Lines().size(), 4);
    QFile::remove(path);
    CallState(45, LINECALLSTATE_OFFERING);
    EXPECT_EQ(Lines().size(), 3);
    EXPECT_EQ(ModeOf(path), 0600);
    // A FIFO in its place is not waited on (it has no reader) nor written through.
    QFile::remove(path);
    ASSERT_TRUE(MakeFifo(path));
    EXPECT_EQ(ExitCodeWithin(5000, [&] { return log.Append("record") ? 1 : 0; }), 0);
    EXPECT_TRUE(IsFifo(path));
}

}  // namespace
