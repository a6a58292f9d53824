#pragma once
// The exchange state as a file in the runtime directory, shared by every
// process of the user: vastrel-phone changes it while Vastrel runs. Writers
// take an flock and replace the file by rename, so readers need no lock.
#include <sys/types.h>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "ExchangeState.h"

namespace platform::sim {

class ExchangeStore {
public:
    explicit ExchangeStore(QString statePath);

    static QString DefaultPath(const QString& runtimeDir);

    // Re-reads the file when it changed since the last look (one stat when
    // not). Returns true when the state was read again.
    bool Refresh();
    const ExchangeState& State() const { return state_; }

    // Applies change to the newest state under the lock and writes it back.
    // False when the file could not be written; the state then shows the file.
    bool Update(const std::function<void(ExchangeState&)>& change);

    const QString& Path() const { return path_; }

private:
    struct FileKey {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        std::int64_t mtimeNs = 0;
        std::int64_t ctimeNs = 0;
        bool operator==(const FileKey&) const = default;
    };

    static FileKey KeyOf(const char* path);
    void Load();
    bool Write();

    QString path_;
    std::string pathBytes_;
    std::string lockPathBytes_;
    FileKey key_;
    bool loaded_ = false;
    ExchangeState state_;
};

}  // namespace platform::sim
