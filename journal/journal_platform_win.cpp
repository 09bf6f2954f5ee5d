#include <windows.h>

#include <QDir>
#include <QFileInfo>

#include "journal/journal_platform.h"

namespace palmota::journal {

namespace {

// \\server\share\... (or //server/share/...), and \\?\UNC\server\share\...; the local
// device namespace (\\.\, \\?\C:\) is no share.
bool uncPath(const QString& path) {
    const QString native = QDir::toNativeSeparators(path);
    if (native.startsWith(QLatin1String("\\\\?\\UNC\\"), Qt::CaseInsensitive)) return true;
    return native.startsWith(QLatin1String("\\\\")) &&
           !native.startsWith(QLatin1String("\\\\.\\")) &&
           !native.startsWith(QLatin1String("\\\\?\\"));
}

// A drive letter the system maps to a share (net use Z: \\server\share).
bool onNetworkDrive(const QString& path) {
    const QString absolute = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (absolute.size() < 3 || absolute.at(1) != QLatin1Char(':')) return false;
    const std::wstring root = absolute.left(3).toStdWString();
    return ::GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
}

}  // namespace

std::string journalFileProblem(const std::string& path) {
    const QString name = QString::fromStdString(path);
    if (!uncPath(name) && !onNetworkDrive(name)) return {};
    // SQLite's locks do not hold over SMB: two stations writing one file there would
    // corrupt it.
    return "an SQLite journal must not be on a network share: its locks do not hold there; "
           "for several stations, use a PostgreSQL journal (postgresql://...)";
}

std::string readyJournalFile(const std::string& path, bool record) {
    // A file's access is its folder's ACL here, which SQLite's own opening tells; what
    // POSIX modes decide elsewhere has no counterpart to set. A missing folder is named.
    const QFileInfo place(QString::fromStdString(path));
    if (!record || place.exists()) return {};
    const QFileInfo folder(place.absolutePath());
    if (folder.isDir()) return {};
    return "no folder " + QDir::toNativeSeparators(folder.filePath()).toStdString() +
           " for the journal";
}

std::string_view passwordFileHelp() {
    return "%APPDATA%\\postgresql\\pgpass.conf or the file PGPASSFILE names";
}

std::string_view rootCertificateHelp() {
    return "%APPDATA%\\postgresql\\root.crt";
}

}  // namespace palmota::journal
