#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "journal/journal.h"

namespace palmota::testing {

// A journal that can be told to fail, keeping the rows it was given.
class FakeJournal final : public journal::Journal {
  public:
    bool refuseBegin = false;
    bool refuseComplete = false;
    // Called as a row is committed or completed, before it is (a stop asked meanwhile).
    std::function<void()> onBegin;
    std::function<void()> onComplete;
    std::vector<journal::WriteStart> begun;
    std::vector<journal::WriteEnd> completed;
    std::vector<journal::WriteRow> kept;  // every row, completed or not

    std::string where() const override { return "/var/lib/palmota/journal.db"; }
    bool exists(std::string&) override { return true; }
    bool connect(std::string&) override { return true; }
    std::optional<std::string> begin(const journal::WriteStart& start,
                                     std::string& error) override {
        if (onBegin) onBegin();
        if (refuseBegin) {
            error = "disk full";
            return std::nullopt;
        }
        begun.push_back(start);
        journal::WriteRow row;
        row.id = "row-" + std::to_string(begun.size());
        row.start = start;
        row.started = "2026-12-08T10:00:00.000Z";
        kept.push_back(row);
        return row.id;
    }
    bool complete(const std::string& id, const journal::WriteEnd& end,
                  std::string& error) override {
        if (onComplete) onComplete();
        if (refuseComplete) {
            error = "server gone";
            return false;
        }
        completed.push_back(end);
        for (journal::WriteRow& row : kept) {
            if (row.id != id) continue;
            row.ended = "2026-12-08T10:00:01.000Z";
            row.end = end;
        }
        return true;
    }
    void setDriverMessages(std::function<void(const std::string&)>) override {}
    std::optional<std::vector<journal::WriteRow>> rows(const journal::RowFilter&,
                                                       std::string&) override {
        return kept;
    }
    bool lastConfirmed(const std::string& serial, std::optional<journal::WriteRow>& row,
                       std::string&) override {
        row.reset();
        for (const journal::WriteRow& r : kept)
            if (r.end && r.end->confirmed && r.badge() == serial) row = r;
        return true;
    }
};

}  // namespace palmota::testing
