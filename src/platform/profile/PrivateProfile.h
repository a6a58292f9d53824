#pragma once
// Private-profile (INI) file functions. Bare file names resolve to the
// settings directory, as the original resolved them to the Windows directory.
#include <QString>
#include <string>

#include "platform/Win32.h"

namespace platform {

class PrivateProfile {
public:
    explicit PrivateProfile(QString settingsDir);

    // Copies the value (blanks after "=" skipped) or the default into buffer,
    // cut to size - 1 characters and NUL-terminated; returns the count copied.
    DWORD GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                   const std::string& defaultValue, char* buffer, DWORD size,
                                   const std::string& fileName) const;
    // Replaces the key in place, or appends it to its section, creating the
    // section at the end of the file when missing. Written atomically.
    BOOL WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                    const std::string& value, const std::string& fileName);

    QString PathOf(const std::string& fileName) const;

private:
    QString settingsDir_;
};

}  // namespace platform
