// The export table: the ordinal table, the public header and the POSIX export list name the
// same 55 functions, each with the ordinal the application binds, and the library exports
// exactly those names.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "test_support.h"

namespace {

struct Expected {
    int ordinal;
    const char* name;
};

// The application binds these ordinals; they never change.
constexpr Expected kExports[] = {
    {1, "DbCreateFile"},
    {2, "DbBuildUpperAcs"},
    {100, "DbCheckEngine"},
    {101, "DbStopEngine"},
    {102, "DbGetEngineVersion"},
    {200, "DbSetDirectories"},
    {201, "DbGetDirectories"},
    {202, "DbOpen"},
    {203, "DbClose"},
    {204, "DbCloseAll"},
    {205, "DbRead"},
    {206, "DbPosition"},
    {207, "DbOverRideDef"},
    {208, "DbUnlock"},
    {209, "DbModify"},
    {210, "DbDeactivateKey"},
    {211, "DbPurgeKey"},
    {212, "DbClearKeyRegistry"},
    {213, "DbFileStat"},
    {214, "DbFileStatByName"},
    {215, "DbIsVersion60File"},
    {216, "DbActivateKey"},
    {217, "DbGetOverRideDef"},
    {218, "DbGetLastDataLength"},
    {219, "DbWait"},
    {220, "DbNop"},
    {221, "DbGetByPercent"},
    {222, "DbGetByPercentPhysical"},
    {223, "DbFindPercent"},
    {224, "DbFindPercentPhysical"},
    {225, "DbFindPermanentKey"},
    {226, "DbGetKeySpec"},
    {227, "DbFindKey"},
    {300, "DbRecCreate"},
    {301, "DbRecFree"},
    {302, "DbRecPadKey"},
    {303, "DbRecOpen"},
    {304, "DbRecClose"},
    {305, "DbRecInsert"},
    {306, "DbRecUpdate"},
    {307, "DbRecDelete"},
    {308, "DbRecGetFirst"},
    {309, "DbRecGetNext"},
    {310, "DbRecGetLast"},
    {311, "DbRecGetPrevious"},
    {312, "DbRecGetEqual"},
    {313, "DbRecGetGreaterOrEqual"},
    {314, "DbRecGetPosition"},
    {315, "DbRecSetPosition"},
    {316, "DbRecGetDirect"},
    {317, "DbRecSyncKeyNumber"},
    {318, "DbRecDeactivateKey"},
    {319, "DbRecUnlock"},
    {320, "DbRecFileStat"},
    {321, "DbRecRecordCount"},
};
constexpr int kExportCount = 55;
static_assert(sizeof kExports / sizeof kExports[0] == kExportCount, "55 exports");

// The seven exports that carry their name in the Windows table.
const std::set<std::string> kNamed = {"DbCreateFile",  "DbOpen",   "DbClose",   "DbRead",
                                      "DbOverRideDef", "DbModify", "DbFileStat"};

std::string SourceFile(const std::string& relative) {
    const auto text = testsupport::ReadFileBytes(std::string(TYDB_SOURCE_DIR) + "/" + relative);
    EXPECT_TRUE(text.has_value()) << relative;
    return text.value_or("");
}

std::set<std::string> ExpectedNames() {
    std::set<std::string> names;
    for (const auto& e : kExports) names.insert(e.name);
    return names;
}

struct DefEntry {
    int ordinal;
    bool noName;
};

// The EXPORTS lines of the ordinal table: "Name @ordinal [NONAME]".
std::map<std::string, DefEntry> ReadDefTable(int* entryLines) {
    std::map<std::string, DefEntry> entries;
    std::istringstream in(SourceFile("src/exports/tydb.def"));
    const std::regex entry(R"(^\s*([A-Za-z_][A-Za-z0-9_]*)\s+@([0-9]+)(\s+NONAME)?\s*$)");
    std::string line;
    *entryLines = 0;
    while (std::getline(in, line)) {
        std::smatch match;
        if (!std::regex_match(line, match, entry)) continue;
        ++*entryLines;
        entries[match[1]] = DefEntry{std::stoi(match[2]), match[3].matched};
    }
    return entries;
}

TEST(ExportTable, TheOrdinalTableGivesEveryExportItsOrdinal) {
    int lines = 0;
    const auto table = ReadDefTable(&lines);
    EXPECT_EQ(lines, kExportCount);
    EXPECT_EQ(table.size(), static_cast<size_t>(kExportCount));
    for (const auto& e : kExports) {
        const auto found = table.find(e.name);
        ASSERT_NE(found, table.end()) << e.name;
        EXPECT_EQ(found->second.ordinal, e.ordinal) << e.name;
    }
    std::set<int> ordinals;
    for (const auto& [name, entry] : table) ordinals.insert(entry.ordinal);
    EXPECT_EQ(ordinals.size(), table.size()) << "an ordinal is given twice";
}

TEST(ExportTable, OnlyTheSevenNamedExportsCarryTheirName) {
    int lines = 0;
    const auto table = ReadDefTable(&lines);
    int named = 0;
    for (const auto& [name, entry] : table) {
        const bool shouldBeNamed = kNamed.count(name) != 0;
        EXPECT_EQ(entry.noName, !shouldBeNamed) << name;
        named += entry.noName ? 0 : 1;
    }
    EXPECT_EQ(named, 7);
}

TEST(ExportTable, TheHeaderDeclaresExactlyTheFiftyFiveExports) {
    const std::string header = SourceFile("include/tydb.h");
    // Every export is declared "TYDB_API <result> TYDB_CALL <Name>(".
    const std::regex declaration(
        R"(TYDB_API\s+[A-Za-z_][A-Za-z0-9_\s\*]*?\bTYDB_CALL\s+([A-Za-z_][A-Za-z0-9_]*)\s*\()");
    std::set<std::string> declared;
    int declarations = 0;
    for (auto it = std::sregex_iterator(header.begin(), header.end(), declaration); it != std::sregex_iterator();
         ++it) {
        declared.insert((*it)[1]);
        ++declarations;
    }
    EXPECT_EQ(declarations, kExportCount) << "a function is declared twice or one is missing";
    EXPECT_EQ(declared, ExpectedNames());
}

TEST(ExportTable, TheExportListNamesTheFiftyFiveExports) {
    const std::string map = SourceFile("src/exports/tydb.map");
    const auto global = map.find("global:");
    const auto local = map.find("local:");
    ASSERT_NE(global, std::string::npos);
    ASSERT_NE(local, std::string::npos);
    const std::string names = map.substr(global + 7, local - global - 7);
    const std::regex name(R"(([A-Za-z_][A-Za-z0-9_]*)\s*;)");
    std::set<std::string> listed;
    int entries = 0;
    for (auto it = std::sregex_iterator(names.begin(), names.end(), name); it != std::sregex_iterator(); ++it) {
        listed.insert((*it)[1]);
        ++entries;
    }
    EXPECT_EQ(entries, kExportCount);
    EXPECT_EQ(listed, ExpectedNames());
}

TEST(ExportTable, TheLibraryAnswersEveryNameOfTheTable) {
    void* library = dlopen(testsupport::BuildPath("libtydb.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const auto& e : kExports) EXPECT_NE(dlsym(library, e.name), nullptr) << e.name;
    // Names of the library's insides stay hidden.
    EXPECT_EQ(dlsym(library, "_ZN4tydb12GetOpenEntryEs"), nullptr);
    EXPECT_EQ(dlsym(library, "_ZN4tydb10CallEngineEtPvS0_PtS0_a"), nullptr);
    dlclose(library);
}

}  // namespace
