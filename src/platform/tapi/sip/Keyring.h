#pragma once
// The desktop's keyring (Secret Service, KWallet) for the SIP password,
// under the service name "vastrel". Never falls back to a plain file.
#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string>

namespace platform::sip {

class Keyring {
public:
    static constexpr int kWaitMs = 10000;

    using Found = std::function<void(std::optional<std::string>)>;
    // Calls found later, on the event loop, unless context is gone by then:
    // the secret, or nothing when there is no keyring, no entry, or the user
    // declined to unlock it.
    static void Read(const QString& key, QObject* context, Found found);
    // Waits (bounded) for the keyring; false with the keyring's reason.
    static bool Write(const QString& key, const std::string& secret, QString* error);
};

}  // namespace platform::sip
