#pragma once

#include <signal.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <string>
#include <vector>

#include "tests/journal/journal_places.h"

namespace palmota::testing {

// The journal's URI with a name its server shows for each of the program's connections, so
// that a test finds that program's backends among the others.
inline std::string namedConnections(const std::string& where, const std::string& name) {
    return where + "&application_name=" + name;
}

// The server processes behind the connections named `name` stopped (SIGSTOP), as a network
// that drops every packet leaves a client: nothing it sends is answered, nothing is refused.
// They go on when this goes (or at resume()), whatever the test did meanwhile.
class StalledBackends {
  public:
    StalledBackends(const std::string& where, const std::string& name) {
        {
            QSqlDatabase db = rawConnection(where, kName);
            QSqlQuery q(db);
            q.prepare("SELECT pid FROM pg_stat_activity WHERE application_name = ?");
            q.addBindValue(QString::fromStdString(name));
            EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
            while (q.next()) pids_.push_back(q.value(0).toInt());
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(kName);
        for (const int pid : pids_) EXPECT_EQ(::kill(pid, SIGSTOP), 0) << pid;
    }
    ~StalledBackends() { resume(); }
    StalledBackends(const StalledBackends&) = delete;
    StalledBackends& operator=(const StalledBackends&) = delete;

    std::size_t count() const { return pids_.size(); }
    void resume() {
        for (const int pid : pids_) ::kill(pid, SIGCONT);
        pids_.clear();
    }

  private:
    static inline const QString kName = QStringLiteral("stalling");
    std::vector<int> pids_;
};

}  // namespace palmota::testing
