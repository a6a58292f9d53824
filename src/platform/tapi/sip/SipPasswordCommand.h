#pragma once
// `vastrel --sip-password`: reads the SIP password from standard input and
// keeps it in the desktop's keyring for the account telephon.ini names, so
// that the file need not hold it.
#include <QString>

namespace platform::sip {

class SipPasswordCommand {
public:
    // The exit status. Needs a QCoreApplication (the keyring talks D-Bus).
    static int Main(const QString& settingsDir);
};

}  // namespace platform::sip
