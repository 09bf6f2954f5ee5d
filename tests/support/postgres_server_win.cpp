#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdlib>
#include <string>
#include <utility>

#include "tests/support/postgres_server.h"

namespace palmota::testing {

namespace {

constexpr const char* kAddressVariable = "PALMOTA_TEST_POSTGRES";
constexpr const char* kSuperuser = "postgres";
constexpr const char* kDatabase = "postgres";

void fail(std::string* error, const std::string& what) {
    if (error) *error = what;
}

// HOST and PORT of HOST:PORT.
std::pair<std::string, std::string> hostAndPort(const std::string& address) {
    const auto colon = address.rfind(':');
    if (colon == std::string::npos) return {address, "5432"};
    return {address.substr(0, colon), address.substr(colon + 1)};
}

}  // namespace

PostgresServer::PostgresServer(std::string templateDir) : templateDir_(std::move(templateDir)) {}

PostgresServer::~PostgresServer() = default;

bool PostgresServer::start(std::string* error, bool durable) {
    durable_ = durable;
    const char* address = std::getenv(kAddressVariable);
    if (!address || !*address) {
        fail(error, std::string("no PostgreSQL server: ") + kAddressVariable +
                        " names none (HOST:PORT; scripts/check windows starts one)");
        return false;
    }
    dir_ = address;
    running_ = true;
    return true;
}

// The server belongs to the check that started it.
void PostgresServer::stop() {
    running_ = false;
}

bool PostgresServer::createSchema(const std::string& name, std::string* error) {
    const auto [host, port] = hostAndPort(dir_);
    const QString connection = QStringLiteral("palmota-test-schema");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setHostName(QString::fromStdString(host));
        db.setPort(std::atoi(port.c_str()));
        db.setUserName(QString::fromLatin1(kSuperuser));
        db.setDatabaseName(QString::fromLatin1(kDatabase));
        if (!db.open()) {
            fail(error,
                 "cannot reach the server at " + dir_ + ": " + db.lastError().text().toStdString());
        } else {
            QSqlQuery query(db);
            ok = query.exec(QString::fromStdString("CREATE SCHEMA " + name));
            if (!ok) fail(error, query.lastError().text().toStdString());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

std::string PostgresServer::uri(const std::string& schema) const {
    const auto [host, port] = hostAndPort(dir_);
    return std::string("postgresql:///") + kDatabase + "?host=" + host + "&port=" + port +
           "&user=" + kSuperuser + "&options=-csearch_path%3D" + schema;
}

}  // namespace palmota::testing
