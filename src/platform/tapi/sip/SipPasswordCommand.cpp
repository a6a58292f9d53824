#include "SipPasswordCommand.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "Keyring.h"
#include "SipConfig.h"
#include "platform/tapi/TelephonyConfig.h"

namespace platform::sip {
namespace {

// One line, not echoed when typed at a terminal.
std::string ReadSecretLine() {
    termios saved{};
    const bool terminal = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        std::fputs("SIP password: ", stderr);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

int SipPasswordCommand::Main(const QString& settingsDir) {
    const SipConfig config = TelephonyConfig::Load(settingsDir).Sip();
    if (config.host.isEmpty() || config.DigestUser().empty()) {
        std::fprintf(stderr,
                     "vastrel: telephon.ini has no [Sip] Server= and User= to keep a password "
                     "for\n");
        return 2;
    }
    const std::string secret = ReadSecretLine();
    if (secret.empty()) {
        std::fprintf(stderr, "vastrel: no password given; nothing stored\n");
        return 2;
    }
    QString error;
    if (!Keyring::Write(config.KeyringKey(), secret, &error)) {
        std::fprintf(stderr,
                     "vastrel: the desktop keyring could not keep the password (%s); put it in "
                     "telephon.ini as Password= and make the file private (chmod 600)\n",
                     error.toLocal8Bit().constData());
        return 1;
    }
    std::fprintf(stderr, "vastrel: password kept in the keyring for %s\n",
                 config.KeyringKey().toLocal8Bit().constData());
    return 0;
}

}  // namespace platform::sip
