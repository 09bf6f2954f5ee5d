#pragma once

#include <string>

namespace palmota::testing {

// A PostgreSQL server for one test program. On Linux a private one: its own data folder in a
// temporary folder, listening on a Unix socket in that folder only, no TCP; its databases
// collate text with ICU's French order (fr-FR), as a server set up on a French desk's machine
// does. Debian's server refuses to run as root, so under root it runs as the user postgres,
// in a folder that user owns. The data folder is copied from a template made once per build
// (initdb takes seconds). On Windows (under wine) the one the Windows check started on the
// loopback address, named by the environment variable PALMOTA_TEST_POSTGRES as HOST:PORT:
// there is no server to start, and wine's libpq cannot reach a Unix socket.
class PostgresServer {
  public:
    // `templateDir`: where the template data folder is kept between test programs.
    explicit PostgresServer(std::string templateDir);
    ~PostgresServer();  // stops the server, removes its folder
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Makes the folder on first use, then starts the server and waits until it takes
    // connections. `durable`: commits reach the disk, as on a real server (for measures).
    bool start(std::string* error = nullptr, bool durable = false);
    // Stops it at once, as a crash or a pulled cable would for its clients.
    void stop();
    bool running() const { return running_; }

    // A new empty schema, and the URI palmota's --journal takes for it: the server's
    // database, with the schema first on the search path. A schema takes a millisecond
    // where a database takes seconds.
    bool createSchema(const std::string& name, std::string* error = nullptr);
    std::string uri(const std::string& schema) const;
    std::string socketDir() const { return dir_; }

    // Linux: starts it taking TLS connections only, on a free port of 127.0.0.1 (pg_hba.conf
    // has hostssl lines alone; the Unix socket stays for createSchema), with a certificate
    // made for this run for 127.0.0.1, self-signed: it is the root a client checks it against.
    bool startTlsOnly(std::string* error = nullptr);
    // The URI of `schema` over TCP to that server, with `query` (sslmode=..., sslrootcert=...).
    std::string tlsUri(const std::string& schema, const std::string& query) const;
    // The server's own certificate, and another self-signed one for the same name.
    std::string rootCertificate() const { return dir_ + "/root.crt"; }
    std::string wrongRootCertificate() const { return dir_ + "/wrong.crt"; }
    int tlsPort() const { return tlsPort_; }

  private:
    bool prepare(std::string* error);
    // Runs a PostgreSQL program from the server's bin folder, as the server's user.
    bool run(const std::string& program, const std::string& arguments, std::string* error) const;

    std::string templateDir_;
    std::string bin_;
    std::string dir_;
    bool running_ = false;
    bool durable_ = false;
    int tlsPort_ = 0;
};

}  // namespace palmota::testing
