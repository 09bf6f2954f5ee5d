// The exit statuses and the causes' names as the manual page and the README tell them,
// against the cause table that --help is made from: a status or a cause added to the table
// and not to them, or one of them changed alone, is a script's author misled.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <vector>

#include "cli/cli_status.h"

namespace palmota::cli {
namespace {

std::string fileText(const std::string& name) {
    std::ifstream in(std::string(PALMOTA_SOURCE_DIR) + "/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Spaces and line ends run together; roff's escapes for the characters the texts use, and
// Markdown's code quotes, go.
std::string plain(std::string text) {
    for (const auto& [escape, character] : std::map<std::string, std::string>{{"\\-", "-"},
                                                                              {"\\(aq", "'"},
                                                                              {"\\(lq", "\""},
                                                                              {"\\(rq", "\""},
                                                                              {"\\e", "\\"},
                                                                              {"`", ""}}) {
        for (auto at = text.find(escape); at != std::string::npos; at = text.find(escape, at))
            text.replace(at, escape.size(), character);
    }
    return std::regex_replace(text, std::regex("\\s+"), " ");
}

// The manual page's EXIT STATUS section: ".TP", ".B N", then the text until the next
// request that starts an entry or a section.
std::map<int, std::string> manualStatuses() {
    std::map<int, std::string> statuses;
    std::istringstream page(fileText("packaging/man/palmota-cli.1"));
    bool inSection = false;
    int status = -1;
    for (std::string line; std::getline(page, line);) {
        if (line.rfind(".SH", 0) == 0) inSection = line == ".SH EXIT STATUS";
        if (!inSection) continue;
        if (line.rfind(".B ", 0) == 0 &&
            line.find_first_not_of("0123456789", 3) == std::string::npos) {
            status = std::stoi(line.substr(3));
        } else if (line.rfind(".TP", 0) == 0 || line.rfind(".PP", 0) == 0) {
            status = -1;
        } else if (status >= 0 && line.rfind('.', 0) != 0) {
            statuses[status] += line + ' ';
        }
    }
    return statuses;
}

// The README's table: "| N | text |".
std::map<int, std::string> readmeStatuses() {
    std::map<int, std::string> statuses;
    std::istringstream readme(fileText("README.md"));
    const std::regex row("^\\| (\\d+) \\| (.*) \\|$");
    std::smatch found;
    for (std::string line; std::getline(readme, line);)
        if (std::regex_match(line, found, row)) statuses[std::stoi(found[1])] = found[2];
    return statuses;
}

TEST(ExitStatusDocs, TheManualPageAndTheReadmeSayWhatTheCauseTableSays) {
    const auto manual = manualStatuses();
    const auto readme = readmeStatuses();
    for (const StatusMeaning& meaning : exitStatusMeanings()) {
        ASSERT_TRUE(manual.count(meaning.status)) << "manual page: no status " << meaning.status;
        EXPECT_NE(plain(manual.at(meaning.status)).find(meaning.text), std::string::npos)
            << "manual page, status " << meaning.status << ": " << plain(manual.at(meaning.status))
            << "\nwants: " << meaning.text;
        ASSERT_TRUE(readme.count(meaning.status)) << "README: no status " << meaning.status;
        EXPECT_NE(plain(readme.at(meaning.status)).find(meaning.text), std::string::npos)
            << "README, status " << meaning.status << ": " << readme.at(meaning.status)
            << "\nwants: " << meaning.text;
    }
}

// The causes' names in the table's order, as a script sees them in JSON.
std::vector<std::string> tableNames() {
    std::vector<std::string> names;
    for (const till::CauseRow& row : till::causeTable()) names.emplace_back(row.name);
    return names;
}

// The manual page's `cause` entry: each name on a ".B name" line of its own, from the
// entry's first line until the sentence after the list.
std::vector<std::string> manualCauseNames() {
    std::vector<std::string> names;
    std::istringstream page(fileText("packaging/man/palmota-cli.1"));
    bool inEntry = false;
    for (std::string line; std::getline(page, line);) {
        if (line == "The outcome as a stable lower-case name:") inEntry = true;
        if (!inEntry) continue;
        if (line.rfind("A command cut short", 0) == 0) break;
        if (line.rfind(".B ", 0) == 0) names.push_back(plain(line.substr(3)));
    }
    return names;
}

// The README's sentence "The causes, for scripts: `ok`, ..., `usage` (...)".
std::vector<std::string> readmeCauseNames() {
    const std::string readme = plain(fileText("README.md"));
    const std::string opening = "The causes, for scripts: ";
    const auto from = readme.find(opening);
    if (from == std::string::npos) return {};
    const auto to = readme.find(" (", from);
    std::vector<std::string> names;
    std::istringstream list(readme.substr(from + opening.size(), to - from - opening.size()));
    for (std::string name; std::getline(list >> std::ws, name, ',');) names.push_back(name);
    return names;
}

TEST(ExitStatusDocs, TheManualPageAndTheReadmeNameEveryCauseOfTheTableInItsOrder) {
    EXPECT_EQ(manualCauseNames(), tableNames()) << "manual page, the cause entry";
    EXPECT_EQ(readmeCauseNames(), tableNames()) << "README, the causes for scripts";
}

}  // namespace
}  // namespace palmota::cli
