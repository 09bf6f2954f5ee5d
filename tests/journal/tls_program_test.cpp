// palmota-cli with a PostgreSQL journal over TLS, against a server that takes TLS
// connections only and the emulated Reader: the server verified and the top-up recorded, or
// the connection refused (by the client or by the server) with nothing sent. The Windows
// check runs the same cases with palmota-cli.exe under wine and compares the output.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim/pty_reader.h"
#include "tests/journal/journal_places.h"
#include "tests/support/child_process.h"

namespace palmota::journal {
namespace {

using testing::PostgresServer;
using testing::RunResult;

PostgresServer& tlsServer() {
    static PostgresServer server(PALMOTA_PG_TEMPLATE);
    std::string error;
    if (!server.running()) {
        EXPECT_TRUE(server.startTlsOnly(&error)) << error;
    }
    return server;
}

class TlsJournal : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(reader_.start());
        std::string error;
        ASSERT_TRUE(tlsServer().createSchema(schema_, &error)) << error;
    }

    RunResult cli(const std::string& query, std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", reader_.devicePath(), "--journal",
                                   tlsServer().tlsUri(schema_, query)});
        return testing::runProgram(PALMOTA_CLI, args);
    }

    // What a refused connection must leave: status 6, not a byte to the Reader, and one line
    // on standard error that names the server and gives `reason`.
    void expectRefused(const RunResult& run, const std::string& reason) {
        EXPECT_EQ(run.status, 6) << run.err;
        EXPECT_EQ(reader_.received(), "");
        EXPECT_EQ(run.out, "");
        const std::string server = "connection to server at \"127.0.0.1\", port " +
                                   std::to_string(tlsServer().tlsPort()) + " failed: ";
        EXPECT_NE(run.err.find(server + reason), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("; nothing written\n"), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }

    inline static int made_ = 0;
    std::string schema_ = "tls_" + std::to_string(::getpid()) + "_" + std::to_string(++made_);
    sim::PtyReader reader_;
};

TEST_F(TlsJournal, AVerifiedServerRecordsTheTopupAndTheReportAndTheCheckReadItBack) {
    const std::string verified = "sslmode=verify-full&sslrootcert=" + tlsServer().rootCertificate();
    const RunResult topup = cli(verified, {"topup", "500"});
    ASSERT_EQ(topup.status, 0) << topup.err;
    EXPECT_EQ(topup.out, "serial: 123456\ncredit: 1500 -> 2000\n");

    const RunResult report = cli(verified, {"journal", "report", "--csv"});
    ASSERT_EQ(report.status, 0) << report.err;
    EXPECT_NE(report.out.find(",1,1,0,0,0,500,500,\n"), std::string::npos) << report.out;
    const RunResult check = cli(verified, {"journal", "check"});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_NE(check.out.find("2000"), std::string::npos) << check.out;
}

TEST_F(TlsJournal, AServerSignedByAnotherRootIsRefusedWithNothingSent) {
    expectRefused(cli("sslmode=verify-full&sslrootcert=" + tlsServer().wrongRootCertificate(),
                      {"topup", "500"}),
                  "SSL error: certificate verify failed");
}

TEST_F(TlsJournal, AClearConnectionIsRefusedByTheServerWithNothingSent) {
    expectRefused(cli("sslmode=disable", {"topup", "500"}),
                  "FATAL: no pg_hba.conf entry for host \"127.0.0.1\"");
}

}  // namespace
}  // namespace palmota::journal
