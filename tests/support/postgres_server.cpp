#include "tests/support/postgres_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace palmota::testing {

namespace {

namespace fs = std::filesystem;

constexpr const char* kServerUser = "postgres";
constexpr const char* kSuperuser = "postgres";
constexpr const char* kDatabase = "postgres";

// The newest server installed: /usr/lib/postgresql/VERSION/bin.
std::string serverBin() {
    std::string best;
    int bestVersion = -1;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        const std::string name = entry.path().filename().string();
        const int version = std::atoi(name.c_str());
        if (version > bestVersion && fs::exists(entry.path() / "bin" / "initdb")) {
            bestVersion = version;
            best = (entry.path() / "bin").string();
        }
    }
    return best;
}

bool asRoot() {
    return geteuid() == 0;
}

bool giveToServerUser(const std::string& path) {
    if (!asRoot()) return true;
    const passwd* user = getpwnam(kServerUser);
    return user && chown(path.c_str(), user->pw_uid, user->pw_gid) == 0;
}

void fail(std::string* error, const std::string& what) {
    if (error) *error = what;
}

// A port of 127.0.0.1 no one listens on now: the system's choice for a socket bound to 0.
int freeLoopbackPort() {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    close(s);
    return port;
}

// A self-signed certificate for 127.0.0.1 (its name and its address), with its key.
bool selfSigned(const std::string& certificate, const std::string& key) {
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
        "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
        key + " -out " + certificate + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

}  // namespace

PostgresServer::PostgresServer(std::string templateDir)
    : templateDir_(std::move(templateDir)), bin_(serverBin()) {}

PostgresServer::~PostgresServer() {
    stop();
    if (!dir_.empty()) {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
}

bool PostgresServer::run(const std::string& program, const std::string& arguments,
                         std::string* error) const {
    const std::string log = dir_ + "/commands.log";
    std::string command = (asRoot() ? std::string("runuser -u ") + kServerUser + " -- " : "") +
                          bin_ + "/" + program + " " + arguments + " >>" + log + " 2>&1";
    if (std::system(command.c_str()) == 0) return true;
    fail(error, program + " failed; see " + log);
    return false;
}

bool PostgresServer::prepare(std::string* error) {
    if (!dir_.empty()) return true;
    if (bin_.empty()) {
        fail(error, "no PostgreSQL server under /usr/lib/postgresql (apt-get install postgresql)");
        return false;
    }
    char name[] = "/tmp/palmota-pg-XXXXXX";
    if (!mkdtemp(name) || !giveToServerUser(name)) {
        fail(error, "cannot make a folder for the server");
        return false;
    }
    dir_ = name;
    // One test program at a time makes the template; the others wait for it.
    fs::create_directories(fs::path(templateDir_).parent_path());
    const std::string lockPath = templateDir_ + ".lock";
    const int lock = open(lockPath.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) {
        fail(error, "cannot lock " + lockPath);
        if (lock >= 0) close(lock);
        return false;
    }
    bool ok = true;
    if (!fs::exists(templateDir_ + "/PG_VERSION")) {
        std::error_code ec;
        fs::remove_all(templateDir_, ec);
        // Made beside the template and renamed into place, so that no half-made one is
        // ever taken.
        const std::string making = templateDir_ + ".making";
        fs::remove_all(making, ec);
        fs::create_directory(making);
        // The databases collate as a French desk's server does: Debian's initdb takes the
        // system's locale, and ICU's French order puts "~" and "-" before the digits.
        ok = giveToServerUser(making) &&
             run("initdb",
                 "-D " + making + " -A trust -U " + kSuperuser +
                     " --no-sync -E UTF8 --locale=C.UTF-8 --locale-provider=icu --icu-locale=fr-FR",
                 error);
        if (ok) {
            fs::rename(making, templateDir_, ec);
            ok = !ec;
            if (!ok) fail(error, "cannot keep the template: " + ec.message());
        }
    }
    close(lock);
    if (!ok) return false;
    const std::string copy = "cp -a " + templateDir_ + " " + dir_ + "/data";
    if (std::system(copy.c_str()) != 0) {
        fail(error, "cannot copy the template data folder");
        return false;
    }
    return true;
}

bool PostgresServer::start(std::string* error, bool durable) {
    if (running_) return true;
    if (!prepare(error)) return false;
    durable_ = durable;
    // No TCP at all: the socket in the private folder is the only way in. A commit is
    // written to the server's log before it is acknowledged, so that a stop at any moment
    // keeps it; only the wait for the disk is spared unless `durable`.
    const std::string options =
        "-k " + dir_ + " -c listen_addresses='' -c fsync=" + (durable_ ? "on" : "off");
    running_ = run(
        "pg_ctl", "-D " + dir_ + "/data -l " + dir_ + "/server.log -w -o \"" + options + "\" start",
        error);
    return running_;
}

bool PostgresServer::startTlsOnly(std::string* error) {
    if (running_) return true;
    if (!prepare(error)) return false;
    const std::string data = dir_ + "/data";
    tlsPort_ = freeLoopbackPort();
    if (tlsPort_ == 0 || !selfSigned(data + "/server.crt", data + "/server.key") ||
        !selfSigned(wrongRootCertificate(), dir_ + "/wrong.key")) {
        fail(error, "cannot make the server's certificate with openssl");
        return false;
    }
    std::error_code ec;
    fs::copy_file(data + "/server.crt", rootCertificate(), ec);
    fs::permissions(data + "/server.key", fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace, ec);
    std::ofstream(data + "/pg_hba.conf", std::ios::trunc)
        << "local all all trust\nhostssl all all 127.0.0.1/32 trust\n";
    if (!giveToServerUser(data + "/server.key") || !giveToServerUser(data + "/server.crt") ||
        !giveToServerUser(data + "/pg_hba.conf")) {
        fail(error, "cannot give the certificate to the server's user");
        return false;
    }
    const std::string options = "-k " + dir_ + " -c listen_addresses=127.0.0.1 -p " +
                                std::to_string(tlsPort_) + " -c fsync=off -c ssl=on";
    running_ =
        run("pg_ctl", "-D " + data + " -l " + dir_ + "/server.log -w -o \"" + options + "\" start",
            error);
    return running_;
}

std::string PostgresServer::tlsUri(const std::string& schema, const std::string& query) const {
    return std::string("postgresql://") + kSuperuser + "@127.0.0.1:" + std::to_string(tlsPort_) +
           "/" + kDatabase + "?" + query + "&options=-csearch_path%3D" + schema;
}

void PostgresServer::stop() {
    if (!running_) return;
    run("pg_ctl", "-D " + dir_ + "/data -m immediate -w stop", nullptr);
    running_ = false;
}

bool PostgresServer::createSchema(const std::string& name, std::string* error) {
    const std::string port = tlsPort_ ? " -p " + std::to_string(tlsPort_) : std::string();
    return run("psql",
               "-h " + dir_ + port + " -U " + kSuperuser + " -q -c 'CREATE SCHEMA " + name + "' " +
                   kDatabase,
               error);
}

std::string PostgresServer::uri(const std::string& schema) const {
    return std::string("postgresql:///") + kDatabase + "?host=" + dir_ + "&user=" + kSuperuser +
           "&options=-csearch_path%3D" + schema;
}

}  // namespace palmota::testing
