#include <gtest/gtest.h>

#include <vector>

#include "FakeWindowSystem.h"
#include "core/AppState.h"
#include "shell/WindowHook.h"

using namespace platform;

namespace {

class WindowHookTest : public ::testing::Test {
protected:
    FakeWindowSystem windows;
    AppState state;
    std::vector<std::string> calls;
    WindowHook hook{windows,
                    state,
                    {[this] { calls.push_back("unload"); }, [this] { calls.push_back("options"); },
                     [this] { calls.push_back("rebuild"); }}};
    std::vector<char> buffer = std::vector<char>(300, '\0');

    void SetUp() override {
        state.mainHwnd = windows.CreateWindowHandle();
        windows.SetWindowLongA(state.mainHwnd, GWL_WNDPROC, [this](HWND, UINT m, WPARAM, LPARAM) {
            calls.push_back("old " + std::to_string(m));
            return LRESULT{7};
        });
        hook.Hook();
    }
    LRESULT Send(DWORD dwData, const std::string& text, DWORD cbData) {
        std::copy(text.begin(), text.end(), buffer.begin());
        COPYDATASTRUCT cds{dwData, cbData, buffer.data()};
        return windows.SendMessageA(state.mainHwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    }
};

TEST_F(WindowHookTest, CodeOneOpensOptionsAndEveryMessageReachesTheOldProcedure) {
    EXPECT_EQ(Send(1, "", 1), 7);
    EXPECT_EQ(calls, (std::vector<std::string>{"options", "old 74"}));
    windows.SendMessageA(state.mainHwnd, 0x1234, 0, 0);
    EXPECT_EQ(calls.back(), "old 4660");
}

TEST_F(WindowHookTest, OnlyTheExactWordTestRebuildsTheTable) {
    Send(3, "TEST", 5);
    EXPECT_FALSE(state.testRequested);
    EXPECT_EQ(state.copyDataText, "TEST");
    Send(3, "test", 5);
    EXPECT_TRUE(state.testRequested);
    EXPECT_EQ(calls, (std::vector<std::string>{"old 74", "rebuild", "old 74"}));
}

TEST_F(WindowHookTest, TextIsCutAtItsNulOrTakenWholeWithoutOne) {
    Send(3, std::string("test\0junk", 9), 9);
    EXPECT_EQ(state.copyDataText, "test");
    Send(3, "testtest", 4);  // no NUL within cbData
    EXPECT_EQ(state.copyDataText, "test");
}

TEST_F(WindowHookTest, OversizedFramesAreNeverReadPastTheHandOverBuffer) {
    buffer.assign(300, 'x');
    Send(3, "", 100000);
    EXPECT_EQ(state.copyDataText.size(), WindowHook::kMaxCopyData);
    COPYDATASTRUCT empty{3, 10, nullptr};
    windows.SendMessageA(state.mainHwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&empty));
    EXPECT_EQ(state.copyDataText, "");
}

TEST_F(WindowHookTest, OtherCodesAreIgnored) {
    Send(2, "test", 5);
    Send(0, "test", 5);
    EXPECT_FALSE(state.testRequested);
    EXPECT_EQ(calls, (std::vector<std::string>{"old 74", "old 74"}));
}

TEST_F(WindowHookTest, CloseUnloadsAndUnhookGivesTheOldProcedureBack) {
    windows.SendMessageA(state.mainHwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"unload", "old 16"}));
    hook.Unhook();
    calls.clear();
    Send(1, "", 1);
    EXPECT_EQ(calls, std::vector<std::string>{"old 74"});
}

}  // namespace
