// The export list against what the application relies on, and against the public header. The
// list (src/exports/tydb.exports) is the one source of the ordinals; the build derives the
// export tables from it, so an accidental edit would reach the DLL unnoticed but for the facts
// pinned here: 55 exports, and exactly seven, at their ordinals, that carry their name.
#include <gtest/gtest.h>

#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <string_view>

#include "test_support.h"

namespace {

struct Export {
    int ordinal;
    std::string_view name;
    bool named;
};

constexpr Export kExports[] = {
#define TYDB_EXPORT(ordinal, name, named) {ordinal, #name, named != 0},
#include "tydb_exports.h"
#undef TYDB_EXPORT
};

static_assert(std::size(kExports) == 55, "the application binds 55 exports");

// The application finds these by name as well, each at its ordinal; it binds the others by
// ordinal only.
struct Named {
    int ordinal;
    std::string_view name;
};
constexpr Named kNamed[] = {
    {1, "DbCreateFile"},    {202, "DbOpen"},   {203, "DbClose"},    {205, "DbRead"},
    {207, "DbOverRideDef"}, {209, "DbModify"}, {213, "DbFileStat"},
};

constexpr bool OnlyTheNamedCarryTheirName() {
    int named = 0;
    for (const auto& e : kExports) {
        if (!e.named) continue;
        ++named;
        bool expected = false;
        for (const auto& n : kNamed) expected = expected || (n.ordinal == e.ordinal && n.name == e.name);
        if (!expected) return false;
    }
    return named == static_cast<int>(std::size(kNamed));
}
static_assert(OnlyTheNamedCarryTheirName(), "exactly the seven named exports carry their name, at their ordinals");

TEST(ExportTable, TheHeaderDeclaresExactlyTheListedExports) {
    const auto header = testsupport::ReadFileBytes(std::string(TYDB_SOURCE_DIR) + "/include/tydb.h");
    ASSERT_TRUE(header.has_value());
    // Every export is declared "TYDB_API <result> TYDB_CALL <Name>(".
    const std::regex declaration(
        R"(TYDB_API\s+[A-Za-z_][A-Za-z0-9_\s\*]*?\bTYDB_CALL\s+([A-Za-z_][A-Za-z0-9_]*)\s*\()");
    std::set<std::string> declared;
    int declarations = 0;
    for (auto it = std::sregex_iterator(header->begin(), header->end(), declaration); it != std::sregex_iterator();
         ++it) {
        declared.insert((*it)[1]);
        ++declarations;
    }
    std::set<std::string> listed;
    for (const auto& e : kExports) listed.insert(std::string(e.name));
    EXPECT_EQ(declarations, static_cast<int>(std::size(kExports))) << "a function is declared twice or one is missing";
    EXPECT_EQ(declared, listed);
}

}  // namespace
