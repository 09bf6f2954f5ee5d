#pragma once

#include <QString>

#include "journal/journal.h"
#include "journal/journal_location.h"

namespace palmota::journal {

// A journal in an SQL database through Qt SQL: an SQLite file (QSQLITE) or a PostgreSQL
// database (QPSQL), with one schema and the same statements for both, parameters always
// bound. Each instance has a connection of its own.
class SqlJournal final : public Journal {
  public:
    // The schema this program writes. A journal made by a newer program is refused.
    static constexpr int kSchemaVersion = 1;

    SqlJournal(std::string where, JournalLocation location);
    ~SqlJournal() override;
    SqlJournal(const SqlJournal&) = delete;
    SqlJournal& operator=(const SqlJournal&) = delete;

    std::string where() const override { return where_; }
    bool connect(std::string& error) override;
    std::optional<std::string> begin(const WriteStart& start, std::string& error) override;
    bool complete(const std::string& id, const WriteEnd& end, std::string& error) override;
    std::optional<std::vector<WriteRow>> rows(const RowFilter& filter, std::string& error) override;
    bool lastConfirmed(const std::string& serial, std::optional<WriteRow>& row,
                       std::string& error) override;

  private:
    bool open(std::string& error);
    bool prepareSchema(std::string& error);
    void disconnect();

    std::string where_;
    JournalLocation location_;
    QString connection_;
    bool connected_ = false;
};

}  // namespace palmota::journal
