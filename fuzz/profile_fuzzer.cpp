// The private-profile functions over arbitrary file bytes: the program's own
// keys are read with buffers of every size the program uses, and a write
// reads back as written without disturbing the other keys.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/profile/IniDocument.h"
#include "platform/profile/PrivateProfile.h"

namespace {

constexpr const char* kKeys[] = {"Save Data", "Lines", "Scan Rate", "Alarm", "Name", "Traffic"};
constexpr const char* kSections[] = {"Preferences", "Exchange", "Line2"};

QTemporaryDir& Folder() {
    static QTemporaryDir dir;
    return dir;
}

void WriteFile(const QString& path, std::string_view bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const platform::IniDocument document(text);
    platform::PrivateProfile profile(Folder().path());
    WriteFile(Folder().path() + "/fuzz.ini", text);

    // Through the file: each key once, with the buffer sizes in turn.
    constexpr platform::DWORD kCapacities[] = {1, 2, 8, 255};
    std::size_t turn = size;
    for (const char* section : kSections) {
        for (const char* key : kKeys) {
            const platform::DWORD capacity = kCapacities[turn++ % std::size(kCapacities)];
            char buffer[256];
            std::memset(buffer, 'X', sizeof buffer);
            const platform::DWORD n = profile.GetPrivateProfileStringA(section, key, "dflt", buffer,
                                                                       capacity, "fuzz.ini");
            if (n >= capacity || buffer[n] != '\0') std::abort();
            if (buffer[capacity] != 'X') std::abort();  // nothing past the buffer given
            const auto found = document.Find(section, key);
            std::string_view expected = found ? *found : std::string_view("dflt");
            expected = expected.substr(0, expected.find('\0'));
            if (std::string_view(buffer, n) != expected.substr(0, capacity - 1)) std::abort();
        }
    }

    // A write replaces exactly one value: it reads back, the others stay.
    const std::string rewritten = document.WithValue("Preferences", "Lines", "1,2,");
    const platform::IniDocument after(rewritten);
    const auto lines = after.Find("Preferences", "Lines");
    if (!lines || *lines != "1,2,") std::abort();
    for (const char* section : kSections) {
        for (const char* key : kKeys) {
            if (std::string_view(section) == "Preferences" && std::string_view(key) == "Lines")
                continue;
            if (document.Find(section, key) != after.Find(section, key)) std::abort();
        }
    }
    return 0;
}
