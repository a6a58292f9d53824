// Structures filled by the telephony service, taken as arbitrary bytes: the
// line name out of LINEDEVCAPS, and the caller id out of LINECALLINFO as the
// incoming-call log reads it. Offsets and sizes may point anywhere, and cut
// through characters; text must come out as valid UTF-8 in fixed widths.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "FakeClock.h"
#include "FakeNotifyIcon.h"
#include "core/AppState.h"
#include "platform/Utf8Text.h"
#include "platform/registry/Registry.h"
#include "shell/TrayIcon.h"
#include "telephony/IncomingCallLog.h"
#include "telephony/LineTable.h"
#include "telephony/Tapi.h"

using namespace platform;

namespace {

// A service that answers lineGetCallInfo with the fuzzer's bytes, cut to the
// buffer it was handed, and refuses everything else.
class BytesTapi : public Tapi32 {
public:
    std::vector<BYTE> info;
    LONG lineGetCallInfo(HCALL, BYTE* buffer) override {
        const DWORD total = ReadDword(buffer, 4, 0);
        const std::size_t n = std::min<std::size_t>(total, info.size());
        if (n > 0) std::memcpy(buffer, info.data(), n);
        return 0;
    }
    LONG lineInitialize(HLINEAPP*, HINSTANCE, LINECALLBACK, const std::string&, DWORD*) override {
        return kRefused;
    }
    LONG lineNegotiateAPIVersion(HLINEAPP, DWORD, DWORD, DWORD, DWORD*, LINEEXTENSIONID*) override {
        return kRefused;
    }
    LONG lineGetDevCaps(HLINEAPP, DWORD, DWORD, DWORD, BYTE*) override { return kRefused; }
    LONG lineShutdown(HLINEAPP) override { return kRefused; }
    LONG lineOpen(HLINEAPP, DWORD, HLINE*, DWORD, DWORD, DWORD_PTR, DWORD, DWORD,
                  const void*) override {
        return kRefused;
    }
    LONG lineGetNewCalls(HLINE, DWORD, DWORD, BYTE*) override { return kRefused; }
    LONG lineClose(HLINE) override { return kRefused; }
    LONG lineDrop(HCALL, const char*, DWORD) override { return kRefused; }
    LONG lineDeallocateCall(HCALL) override { return kRefused; }
    LONG lineGetRequest(HLINEAPP, DWORD, BYTE*) override { return kRefused; }

private:
    static constexpr LONG kRefused = LINEERR_OPERATIONUNAVAIL;
};

class NoRegistry : public Registry {
public:
    LONG RegCreateKeyA(HKEY, const std::string&, HKEY*) override { return 0; }
    LONG RegOpenKeyExA(HKEY, const std::string&, DWORD, DWORD, HKEY*) override { return 0; }
    LONG RegQueryValueExA(HKEY, const std::string&, DWORD*, DWORD*, BYTE*, DWORD*) override {
        return 2;
    }
    LONG RegSetValueExA(HKEY, const std::string&, DWORD, DWORD, const BYTE*, DWORD) override {
        return 0;
    }
    LONG RegDeleteValueA(HKEY, const std::string&) override { return 0; }
    LONG RegCloseKey(HKEY) override { return 0; }
};

// Valid UTF-8 that holds no control character (C0, DEL or C1).
bool Barless(std::string_view text) {
    if (!Utf8Text::IsValid(text)) return false;
    const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    return std::none_of(shown.begin(), shown.end(), [](QChar c) {
        return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0);
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir folder;
    const std::vector<BYTE> bytes(data, data + size);

    // The name shown in the list and written into every data-log record:
    // valid UTF-8 without control characters, one character per byte at most,
    // and a name field of exactly 22 characters.
    const auto name = Tapi::LineName(bytes);
    if (name) {
        if (!Barless(*name) || Utf8Text::Length(*name) > bytes.size()) std::abort();
        const std::string field = LineTable::NameField(name);
        if (!Utf8Text::IsValid(field) || Utf8Text::Length(field) != 22) std::abort();
    }

    BytesTapi api;
    api.info = bytes;
    NoRegistry registry;
    FakeNotifyIcon shell;
    AppState state;
    TrayIcon tray(shell, state.trayIconData);
    Tapi tapi(api, registry, state.session, tray);
    FakeClock clock;
    const QString path = folder.path() + "/In.log";
    QFile::remove(path);
    IncomingCallLog log(tapi, state.session, clock, path);
    HCALL call = 0x20001;
    log.LogIncomingCall(call);
    if (!log.WaitWritten(5000)) std::abort();  // records are written off the caller's thread

    // One line of 118 characters per call, whatever the caller id held.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) std::abort();
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.size() != 4 || !lines[2].endsWith('\r')) std::abort();
    const std::string_view record(lines[2].constData(), lines[2].size() - 1);
    if (!Barless(record) || Utf8Text::Length(record) != 118) std::abort();
    if (!Barless(log.LastCaller().name) || !Barless(log.LastCaller().number)) std::abort();
    return 0;
}
