#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

// Names for the rows of parameterised tests: letters, digits and underscores, the same
// from build to build, so that `ctest -N` reads as a list of behaviours.
namespace palmota::testing {

// A row that carries its own `name`.
struct RowName {
    template <class Row>
    std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
        return std::string(info.param.name);
    }
};

// Command-line words as a name: {"--port", "3", "read"} gives port_3_read, {"write", "-1"}
// write_minus1, {"write", " 12"} write_space12, {"write", ""} write_empty, {"-"} dash and
// no words at all no_arguments. An option's leading dashes are dropped.
inline std::string wordsName(const std::vector<std::string>& words) {
    std::string name;
    auto separate = [&name] {
        if (!name.empty() && name.back() != '_') name += '_';
    };
    for (const std::string& word : words) {
        separate();
        if (word.empty()) {
            name += "empty";
            continue;
        }
        if (word.find_first_not_of('-') == std::string::npos) {
            name += word.size() == 1 ? "dash" : "dashdash";
            continue;
        }
        std::size_t i = 0;
        while (i < word.size() && word[i] == '-' && i + 1 < word.size() &&
               (word[i + 1] == '-' || std::isalpha(static_cast<unsigned char>(word[i + 1]))))
            ++i;
        for (; i < word.size(); ++i) {
            const auto c = static_cast<unsigned char>(word[i]);
            if (std::isalnum(c)) {
                name += static_cast<char>(c);
            } else if (c == '-' && i + 1 < word.size() &&
                       std::isdigit(static_cast<unsigned char>(word[i + 1]))) {
                name += "minus";
            } else if (c == '+') {
                name += "plus";
            } else if (c == ' ') {
                name += "space";
            } else {
                separate();
            }
        }
    }
    while (!name.empty() && name.back() == '_') name.pop_back();
    return name.empty() ? "no_arguments" : name;
}

}  // namespace palmota::testing
