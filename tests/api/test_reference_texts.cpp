// The texts of the operation tables, which the API reference shows: every
// operation and every interface has one, and an argument that a text
// quotes (`name`) is one of the operation's own, so a renamed argument
// cannot leave its text behind.
#include "kpi_interfaces.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

struct Row {
    std::string where; // Interface::Operation
    std::string args;  // the argument names, "(a, b)"
    std::string text;
};

std::vector<Row> Rows() {
    std::vector<Row> rows;
#define ZPI_TEXT_ROW(Class, Result, Name, Params, Args, Doc)                       \
    rows.push_back({#Class "::" #Name, #Args, Doc});
#define ZPI_TEXT_INTERFACE(Class, Parent) ZPI_OPS_##Class(ZPI_TEXT_ROW)
    ZPI_INTERFACES(ZPI_TEXT_INTERFACE)
#undef ZPI_TEXT_INTERFACE
#undef ZPI_TEXT_ROW
    return rows;
}

TEST(ReferenceTexts, EveryOperationAndInterfaceHasAText) {
    const std::vector<Row> rows = Rows();
    ASSERT_GT(rows.size(), 200u);
    for (const Row& row : rows) {
        EXPECT_GE(row.text.size(), 8u) << row.where << " has no text";
        if (!row.text.empty()) {
            EXPECT_EQ(row.text.back(), '.') << row.where << ": a text ends with a full stop";
        }
        EXPECT_EQ(row.text.find("  "), std::string::npos) << row.where << ": " << row.text;
    }

    std::set<std::string> interfaces;
#define ZPI_TEXT_INTERFACE(Class, Parent) interfaces.insert(#Class);
    ZPI_INTERFACES(ZPI_TEXT_INTERFACE)
#undef ZPI_TEXT_INTERFACE
    std::map<std::string, std::string> texts;
#define ZPI_TEXT_DOC(Class, Doc) EXPECT_TRUE(texts.emplace(#Class, Doc).second) << #Class " twice";
    ZPI_INTERFACE_DOCS(ZPI_TEXT_DOC)
#undef ZPI_TEXT_DOC
    for (const std::string& name : interfaces)
        EXPECT_FALSE(texts[name].empty()) << "interface " << name << " has no text";
    EXPECT_EQ(texts.size(), interfaces.size()) << "a text for an interface that is not in the tables";
}

TEST(ReferenceTexts, QuotedArgumentsAreTheOperationsOwn) {
    const std::regex quoted("`([A-Za-z_][A-Za-z0-9_]*)`");
    int quotes = 0;
    for (const Row& row : Rows()) {
        const std::regex word("\\b\\w+\\b");
        std::set<std::string> args;
        for (auto it = std::sregex_iterator(row.args.begin(), row.args.end(), word);
             it != std::sregex_iterator(); ++it)
            args.insert(it->str());
        for (auto it = std::sregex_iterator(row.text.begin(), row.text.end(), quoted);
             it != std::sregex_iterator(); ++it) {
            ++quotes;
            EXPECT_TRUE(args.count((*it)[1].str()))
                << row.where << " quotes `" << (*it)[1].str() << "`, which is not one of "
                << row.args;
        }
    }
    EXPECT_GT(quotes, 10);
}

} // namespace
