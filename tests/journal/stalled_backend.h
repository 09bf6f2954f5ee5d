#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <chrono>
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
        // Should this test program die with them stopped (a blocked call that nothing ends),
        // a process of its own lets them go on later, so that the server can still stop.
        guard_ = ::fork();
        if (guard_ == 0) {
            ::sleep(static_cast<unsigned>(kLongestStall.count()));
            for (const int pid : pids_) ::kill(pid, SIGCONT);
            ::_exit(0);
        }
        for (const int pid : pids_) EXPECT_EQ(::kill(pid, SIGSTOP), 0) << pid;
    }
    ~StalledBackends() { resume(); }
    StalledBackends(const StalledBackends&) = delete;
    StalledBackends& operator=(const StalledBackends&) = delete;

    std::size_t count() const { return pids_.size(); }
    void resume() {
        for (const int pid : pids_) ::kill(pid, SIGCONT);
        pids_.clear();
        if (guard_ > 0) {
            ::kill(guard_, SIGKILL);
            ::waitpid(guard_, nullptr, 0);
        }
        guard_ = -1;
    }

  private:
    static constexpr std::chrono::seconds kLongestStall{60};
    static inline const QString kName = QStringLiteral("stalling");
    std::vector<int> pids_;
    pid_t guard_ = -1;
};

}  // namespace palmota::testing
