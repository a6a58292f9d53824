#include "ShellLinks.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "platform/file/AtomicFile.h"
#include "platform/file/RegularFile.h"

namespace platform {
namespace {

constexpr const char* kStartupFolder = "..\\..\\start menu\\programs\\startup";
constexpr qsizetype kMaxFileStem = 120;

bool IsStartupFolder(const std::string& folder) {
    QString text = QString::fromLocal8Bit(folder);
    text.replace('/', '\\');
    return text.compare(QLatin1String(kStartupFolder), Qt::CaseInsensitive) == 0;
}

// "Shortcut to Vastrel" -> "shortcut-to-vastrel": only letters, digits and
// dashes, so no name can leave the folder or hide as a dot file.
QString FileStem(const std::string& linkName) {
    QString stem;
    bool dash = false;
    for (const QChar c : QString::fromLocal8Bit(linkName)) {
        if (c.isLetterOrNumber() && c.unicode() < 128) {
            if (dash && !stem.isEmpty()) stem += '-';
            stem += c.toLower();
            dash = false;
        } else {
            dash = true;
        }
    }
    return stem.left(kMaxFileStem);
}

// The string escapes of a desktop entry value; applied after Exec quoting.
QString EscapeValue(const QString& text) {
    QString out;
    for (const QChar c : text) {
        switch (c.unicode()) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// One Exec argument: quoted when it holds a reserved character, with ", `, $
// and \ escaped inside the quotes; % is doubled so it is no field code.
QString QuoteExecArgument(const QString& argument) {
    constexpr QStringView reserved = u" \t\n\"'\\><~|&;$*?#()`";
    bool needsQuotes = argument.isEmpty();
    QString body;
    for (const QChar c : argument) {
        if (reserved.contains(c)) needsQuotes = true;
        if (c == '"' || c == '`' || c == '$' || c == '\\') body += '\\';
        body += c;
        if (c == '%') body += '%';
    }
    return needsQuotes ? '"' + body + '"' : body;
}

// A shortcut shows its target's icon: the icon theme names it after the
// program file ("vastrel").
QString IconName(const std::string& target) {
    const QString name = QFileInfo(QFile::decodeName(target.c_str())).fileName();
    return FileStem(name.toLocal8Bit().toStdString());
}

}  // namespace

ShellLinks::ShellLinks(QString autostartDir) : autostartDir_(std::move(autostartDir)) {}

QString ShellLinks::EntryPath(const std::string& folder, const std::string& linkName) const {
    if (!IsStartupFolder(folder) || autostartDir_.isEmpty()) return {};
    const QString stem = FileStem(linkName);
    if (stem.isEmpty()) return {};
    return autostartDir_ + "/" + stem + ".desktop";
}

QString ShellLinks::ExecLine(const std::string& target, const std::string& arguments) {
    QStringList words{QuoteExecArgument(QFile::decodeName(target.c_str()))};
    for (const QString& word : QProcess::splitCommand(QString::fromLocal8Bit(arguments))) {
        words << QuoteExecArgument(word);
    }
    return words.join(' ');
}

LONG ShellLinks::fCreateShellLink(const std::string& folder, const std::string& linkName,
                                  const std::string& target, const std::string& arguments) {
    const QString path = EntryPath(folder, linkName);
    if (path.isEmpty() || target.empty() || target.find('\0') != std::string::npos) return 0;
    if (!RegularFile::MakeFolders(autostartDir_)) return 0;
    const QString text = QStringLiteral(
                             "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=%1\n"
                             "Exec=%2\n"
                             "Icon=%3\n"
                             "X-GNOME-Autostart-enabled=true\n")
                             .arg(EscapeValue(QString::fromLocal8Bit(linkName)),
                                  EscapeValue(ExecLine(target, arguments)), IconName(target));
    return AtomicFile::Replace(path, text.toUtf8().toStdString()) ? 1 : 0;
}

LONG ShellLinks::fRemoveShellLink(const std::string& folder, const std::string& linkName) {
    const QString path = EntryPath(folder, linkName);
    if (path.isEmpty() || !QFile::exists(path)) return 0;
    return QFile::remove(path) ? 1 : 0;
}

}  // namespace platform
