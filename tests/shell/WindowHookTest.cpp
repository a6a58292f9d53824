#include <gtest/gtest.h>

#include <vector>

#include "FakeWindowSystem.h"
#include "shell/CommandText.h"
#include "shell/WindowHook.h"

using namespace platform;

namespace {

using Calls = std::vector<std::string>;

class WindowHookTest : public ::testing::Test {
protected:
    FakeWindowSystem windows;
    CommandText command;
    HWND main = 0;
    Calls calls;
    WindowHook hook{windows,
                    command,
                    {[this] { calls.push_back("unload"); }, [this] { calls.push_back("options"); },
                     [this] { calls.push_back("rebuild"); }}};

    void SetUp() override {
        main = windows.CreateWindowHandle();
        windows.SetWindowLongA(main, GWL_WNDPROC, [this](HWND, UINT m, WPARAM, LPARAM) {
            calls.push_back("old " + std::to_string(m));
            return LRESULT{7};
        });
        hook.Hook(main);
    }
    LRESULT Send(DWORD dwData, const std::string& text, DWORD cbData, char fill = '\0') {
        std::vector<char> buffer(300, fill);
        std::copy(text.begin(), text.end(), buffer.begin());
        COPYDATASTRUCT cds{dwData, cbData, buffer.data()};
        return windows.SendMessageA(main, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    }
};

// Code 1 opens Options, 3 carries a command (only the exact "test", cut at its
// NUL or taken whole without one, rebuilds), any other is ignored; every
// message still reaches the old procedure (WM_COPYDATA is 74).
TEST_F(WindowHookTest, CopyDataCodesTheTestCommandAndUnhook) {
    const std::vector<std::tuple<DWORD, std::string, DWORD, std::string, bool, Calls>> cases = {
        {1, "", 1, "", false, {"options", "old 74"}},
        {2, "test", 5, "", false, {"old 74"}},
        {3, "TEST", 5, "TEST", false, {"old 74"}},
        {3, std::string("test\0junk", 9), 9, "test", true, {"rebuild", "old 74"}},
        {3, "testtest", 4, "test", true, {"rebuild", "old 74"}}};
    for (const auto& [code, bytes, size, text, test, expected] : cases) {
        calls.clear();
        EXPECT_EQ(Send(code, bytes, size), 7) << code << " " << bytes;
        EXPECT_EQ(std::tuple(command.text, command.testRequested, calls),
                  std::tuple(text, test, expected))
            << code << " " << bytes;
    }
    // Oversized frames are never read past the hand-over buffer.
    Send(3, "", 100000, 'x');
    EXPECT_EQ(command.text.size(), WindowHook::kMaxCopyData);
    COPYDATASTRUCT empty{3, 10, nullptr};
    windows.SendMessageA(main, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&empty));
    EXPECT_EQ(command.text, "");
    // Unhook gives the old procedure back.
    hook.Unhook();
    calls.clear();
    Send(1, "", 1);
    EXPECT_EQ(calls, Calls{"old 74"});
}

}  // namespace
