#pragma once

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
    std::vector<journal::WriteStart> begun;
    std::vector<journal::WriteEnd> completed;

    std::string where() const override { return "/var/lib/palmota/journal.db"; }
    bool connect(std::string&) override { return true; }
    std::optional<std::string> begin(const journal::WriteStart& start,
                                     std::string& error) override {
        if (refuseBegin) {
            error = "disk full";
            return std::nullopt;
        }
        begun.push_back(start);
        return "row-" + std::to_string(begun.size());
    }
    bool complete(const std::string&, const journal::WriteEnd& end, std::string& error) override {
        if (refuseComplete) {
            error = "server gone";
            return false;
        }
        completed.push_back(end);
        return true;
    }
    std::optional<std::vector<journal::WriteRow>> rows(const journal::RowFilter&,
                                                       std::string&) override {
        return std::vector<journal::WriteRow>{};
    }
    bool lastConfirmed(const std::string&, std::optional<journal::WriteRow>&,
                       std::string&) override {
        return true;
    }
};

}  // namespace palmota::testing
