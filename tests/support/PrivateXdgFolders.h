#pragma once
// Tests never touch the developer's own XDG folders: each gets a private one
// under root before the application object exists.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

inline void UsePrivateXdgFolders(const QString& root) {
    for (const char* var :
         {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) {
        const QString dir = root + "/" + var;
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(var, dir.toLocal8Bit());
    }
}
