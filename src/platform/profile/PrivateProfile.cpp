#include "PrivateProfile.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/file/AtomicFile.h"
#include "platform/profile/IniDocument.h"

namespace platform {
namespace {

// The callers hand over C strings: whatever follows a NUL is not part of them.
std::string_view AsCString(std::string_view text) {
    return text.substr(0, std::min(text.find('\0'), text.size()));
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != text.npos;
}

// A name must read back as itself: not blank, none of the forbidden
// characters, and not starting with "[", which would make its line a section.
bool IsWritableName(std::string_view name, std::string_view forbidden) {
    const std::size_t first = name.find_first_not_of(" \t");
    return first != name.npos && name[first] != '[' && name.find_first_of(forbidden) == name.npos;
}

DWORD CopyCut(std::string_view text, char* buffer, DWORD size) {
    const std::size_t count = std::min<std::size_t>(text.size(), size - 1);
    if (count > 0) std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return static_cast<DWORD>(count);
}

}  // namespace

PrivateProfile::PrivateProfile(QString settingsDir) : settingsDir_(std::move(settingsDir)) {}

QString PrivateProfile::PathOf(const std::string& fileName) const {
    const std::string_view name = AsCString(fileName);
    if (name.empty()) return QString();
    const QString decoded =
        QFile::decodeName(QByteArray(name.data(), static_cast<qsizetype>(name.size())));
    // A name with a folder in it is used as it stands.
    if (name.find('/') != std::string_view::npos) return decoded;
    return settingsDir_ + "/" + decoded;
}

DWORD PrivateProfile::GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                               const std::string& defaultValue, char* buffer,
                                               DWORD size, const std::string& fileName) const {
    if (buffer == nullptr || size == 0) return 0;
    std::string text;
    const QString path = PathOf(fileName);
    if (path.isEmpty() || AtomicFile::ReadAll(path, text) != AtomicFile::ReadStatus::Ok) {
        return CopyCut(AsCString(defaultValue), buffer, size);
    }
    const IniDocument document(std::move(text));
    const auto value = document.Find(AsCString(section), AsCString(key));
    return CopyCut(value ? AsCString(*value) : AsCString(defaultValue), buffer, size);
}

BOOL PrivateProfile::WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                                const std::string& value,
                                                const std::string& fileName) {
    const std::string_view sectionName = AsCString(section);
    const std::string_view keyName = AsCString(key);
    const std::string_view valueText = AsCString(value);
    // Anything that would make the line read back differently, or add lines
    // of its own, is refused rather than written.
    if (!IsWritableName(sectionName, "]\r\n") || !IsWritableName(keyName, "=\r\n") ||
        HasLineBreak(valueText)) {
        return 0;
    }
    const QString path = PathOf(fileName);
    if (path.isEmpty()) return 0;
    std::string text;
    // A file that exists but cannot be read is left alone, not replaced.
    if (AtomicFile::ReadAll(path, text) == AtomicFile::ReadStatus::Failed) return 0;
    const IniDocument document(std::move(text));
    return AtomicFile::Replace(path, document.WithValue(sectionName, keyName, valueText)) ? 1 : 0;
}

}  // namespace platform
