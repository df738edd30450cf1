// Random settings files and random changes: a change must be readable at once and must leave
// every other line and every other value as it was.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "ini_document.h"
#include "setting_path.h"

namespace {

using tywreg::IniDocument;

const std::vector<std::string> kKeys = {"A\\x", "a\\X", "B", "b\\c d"};
const std::vector<std::string> kNames = {"n", "N", "name two", "Index Log", "p"};

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// True when `part` is `whole` with some lines left out.
bool IsSubsequence(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
    size_t at = 0;
    for (const std::string& line : whole) {
        if (at < part.size() && part[at] == line) ++at;
    }
    return at == part.size();
}

std::string RandomLine(std::mt19937& random) {
    auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
    switch (random() % 9) {
        case 0: return "[" + pick(kKeys) + "]";
        case 1: return "  [" + pick(kKeys) + "] ";
        case 2: return "";
        case 3: return "; " + pick(kNames) + "=comment";
        case 4: return "garbage without equals";
        case 5: return "[unclosed";
        case 6: return " " + pick(kNames) + " =" + std::to_string(random() % 100);
        default: return pick(kNames) + "=" + std::to_string(random() % 100);
    }
}

TEST(TyWRegIniDocumentProperty, RandomChangesKeepEverythingElse) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        int lineCount = static_cast<int>(random() % 12);
        for (int i = 0; i < lineCount; ++i) text += RandomLine(random) + "\n";
        if (!text.empty() && random() % 4 == 0) text.pop_back();  // no line end after the last line

        IniDocument before = IniDocument::Parse(text);
        ASSERT_EQ(before.Serialize(), text);

        const std::string key = kKeys[random() % kKeys.size()];
        const std::string name = kNames[random() % kNames.size()];
        const std::string value = "v" + std::to_string(round);
        ASSERT_TRUE(IniDocument::CanHold(key, name, value));

        IniDocument after = IniDocument::Parse(text);
        after.Set(key, name, value);
        const std::string changed = after.Serialize();
        SCOPED_TRACE("before:\n" + text + "\nafter:\n" + changed);

        IniDocument reread = IniDocument::Parse(changed);
        EXPECT_EQ(reread.Find(key, name).value_or("<none>"), value);
        EXPECT_EQ(reread.Serialize(), changed);

        // Every other value reads as before.
        for (const std::string& otherKey : kKeys) {
            for (const std::string& otherName : kNames) {
                if (tywreg::EqualNoCase(otherKey, key) && tywreg::EqualNoCase(otherName, name)) continue;
                EXPECT_EQ(reread.Find(otherKey, otherName), before.Find(otherKey, otherName))
                    << otherKey << " / " << otherName;
            }
        }

        // Every old line is still there, in order; an existing entry changes only its own line.
        std::vector<std::string> oldLines = SplitLines(text);
        std::vector<std::string> newLines = SplitLines(changed);
        if (before.Find(key, name)) {
            ASSERT_EQ(newLines.size(), oldLines.size());
            int differing = 0;
            for (size_t i = 0; i < oldLines.size(); ++i) differing += oldLines[i] != newLines[i];
            EXPECT_EQ(differing, 1);
        } else {
            EXPECT_TRUE(IsSubsequence(oldLines, newLines));
            EXPECT_LE(newLines.size(), oldLines.size() + 3);
        }
    }
}

}  // namespace
