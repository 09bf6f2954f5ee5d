#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "journal/journal_platform.h"

namespace palmota::journal {

namespace {

// A journal names operators and holds money: its user's alone. A folder whose files take its
// group (set-group-ID, as the package's /var/lib/palmota, root:dialout 2775) is one the
// desk's users share: there the group records in it too. SQLite gives the file it keeps
// beside the journal during a write the journal's own mode and group.
constexpr mode_t kOwnMode = 0600;
constexpr mode_t kGroupMode = 0660;

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string reason(int error) {
    return error == EACCES || error == EPERM ? "permission denied" : std::strerror(error);
}

bool allowed(const std::string& path, int mode) {
    return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0;
}

// Makes the journal's file, empty, with its mode whatever the umask; through a link only
// when `follow` (one the user may follow), else never through one planted meanwhile.
std::string makeFile(const std::string& path, const std::string& folder, bool follow) {
    struct stat place {};
    const mode_t mode =
        ::stat(folder.c_str(), &place) == 0 && (place.st_mode & S_ISGID) ? kGroupMode : kOwnMode;
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (follow ? 0 : O_EXCL | O_NOFOLLOW);
    const int fd = ::open(path.c_str(), flags, mode);
    if (fd < 0) {
        if (errno == EEXIST) return {};  // another program made it first: it is checked
        return "cannot make the journal in " + folder + ": " + reason(errno);
    }
    struct stat made {};
    // Only a file still empty is given the journal's mode: one made a journal meanwhile, or
    // another program's file behind a link, keeps its own.
    if (::fstat(fd, &made) == 0 && made.st_size == 0 && made.st_uid == ::geteuid())
        (void)::fchmod(fd, mode);
    ::close(fd);
    return {};
}

}  // namespace

std::string journalFileProblem(const std::string&) {
    // A network file system mounted here looks like any other folder: the README warns
    // against keeping an SQLite journal on one.
    return {};
}

std::string readyJournalFile(const std::string& path, bool record) {
    const std::string folder = folderOf(path);
    struct stat place {};
    if (::lstat(path.c_str(), &place) != 0) {
        const int error = errno;
        if (error == EACCES) return "cannot read the journal: permission denied";
        if (error != ENOENT && error != ENOTDIR) return "cannot read the journal: " + reason(error);
        if (!record) return {};  // nothing there: no journal, which the reader tells
        struct stat above {};
        if (::stat(folder.c_str(), &above) != 0 || !S_ISDIR(above.st_mode))
            return "no folder " + folder + " for the journal";
        return makeFile(path, folder, false);
    }
    const bool link = S_ISLNK(place.st_mode);
    // In a folder others may write in, a link there could send the rows (or SQLite's writes)
    // into any file the user may write: only the user's own, or root's, is followed.
    if (link && record && place.st_uid != ::geteuid() && place.st_uid != 0)
        return "a symbolic link another user made (uid " + std::to_string(place.st_uid) +
               ") is at the journal's place: refused";
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0) {
        const int error = errno;
        if (error == EACCES) return "cannot read the journal: permission denied";
        if (error != ENOENT || !record) return {};
        return makeFile(path, folder, true);  // a link of the user's own to a file to make
    }
    if (!allowed(path, R_OK)) return "cannot read the journal: permission denied";
    if (!record) return {};
    if (!allowed(path, W_OK)) return "the journal is read-only: " + reason(errno);
    // SQLite's rollback file is made beside the journal at each write, and removed after.
    if (!allowed(folder, W_OK | X_OK))
        return "cannot write in the journal's folder " + folder + " (" + reason(errno) +
               "): each write keeps a file beside the journal";
    return {};
}

std::string_view passwordFileHelp() {
    return "~/.pgpass or the file PGPASSFILE names";
}

std::string_view rootCertificateHelp() {
    return "~/.postgresql/root.crt";
}

}  // namespace palmota::journal
