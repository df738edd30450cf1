// The index log: which actions leave an entry, the entry's text field by field, its line ends,
// and a log file that another process holds.
#include <map>
#include <regex>

#include "supidx_fixture.h"
#include "test_support.h"

namespace supidxtest {
namespace {

constexpr uint64_t kRetryWaitMs = 3 * 56;

const auto kOrderDate = KeyDef({{20, 6}, {30, 2}});

// One log entry: its first line and its labelled fields, labels without their dots.
struct LogEntry {
    std::string action;
    std::map<std::string, std::string> fields;
    int Int(const std::string& label) const { return std::atoi(fields.at(label).c_str()); }
};

std::vector<LogEntry> ParseLog(const std::string& text) {
    std::vector<LogEntry> entries;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find("\r\n\r\n", at);
        const std::string block = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        LogEntry entry;
        size_t line = 0;
        bool first = true;
        while (line <= block.size()) {
            size_t next = block.find("\r\n", line);
            if (next == std::string::npos) next = block.size();
            const std::string content = block.substr(line, next - line);
            if (first) {
                entry.action = content;
                first = false;
            } else {
                const size_t colon = content.find(": ");
                std::string label = content.substr(0, colon);
                label = label.substr(label.find_first_not_of(' '));
                label = label.substr(0, label.find(".."));
                entry.fields[label] = content.substr(colon + 2);
            }
            line = next + 2;
        }
        entries.push_back(entry);
        if (end == std::string::npos) break;
        at = end + 4;
    }
    return entries;
}

class IndexLogTest : public SupidxTest {
protected:
    std::vector<LogEntry> Log() {
        const auto text = testsupport::ReadFileBytes(LogPath());
        return text ? ParseLog(*text) : std::vector<LogEntry>{};
    }
};

TEST_F(IndexLogTest, BuildEntryAgreesWithRegistryAndStatistics) {
    UseRealEngine({"Index Log=1"});
    CreateDataFile(10);
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    const auto entries = Log();
    ASSERT_EQ(entries.size(), 1u);
    const LogEntry& entry = entries[0];
    const Entry stored = RegistryEntry(CurrentKey(handle));
    EXPECT_EQ(entry.action, "BUILDING NEW KEY");
    EXPECT_EQ(entry.fields.at("File Name"), stored.name);
    EXPECT_EQ(entry.fields.at("Path Name"), DataDir());
    EXPECT_EQ(entry.Int("Key Number"), stored.keyNumber);
    EXPECT_EQ(entry.Int("Number of Segments"), stored.segments);
    EXPECT_EQ(entry.Int("Key Length"), 8);
    EXPECT_EQ(entry.Int("Page Size"), 4096);
    EXPECT_EQ(entry.Int("Record Size"), kRecordLength);
    EXPECT_EQ(entry.Int("Number of Records"), 10);
    EXPECT_EQ(entry.Int("Active References"), stored.active);
    EXPECT_EQ(entry.Int("Total References"), stored.total);
    EXPECT_EQ(entry.Int("Total Free Segments"), FreeSegments(handle));
    EXPECT_EQ(entry.Int("Total Used Segments"), TYDB_MAX_KEY_SEGMENTS - FreeSegments(handle));
    const std::regex calendar(
        "(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
        "[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}");
    EXPECT_TRUE(std::regex_match(entry.fields.at("Start Time"), calendar)) << entry.fields.at("Start Time");
    EXPECT_TRUE(std::regex_match(entry.fields.at("Stop Time"), calendar)) << entry.fields.at("Stop Time");
}

TEST_F(IndexLogTest, EveryActionWritesItsEntryAndEveryLineEndsInCrLf) {
    UseRealEngine({"Index Log=1"});
    CreateDataFile(10);
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    ASSERT_EQ(DbDeactivateKey(handle), 0);
    ASSERT_EQ(DbPurgeKey(handle), 0);
    const auto entries = Log();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].action, "BUILDING NEW KEY");
    EXPECT_EQ(entries[1].action, "ACTIVATING EXISTING KEY");
    EXPECT_EQ(entries[1].Int("Active References"), 2);
    EXPECT_EQ(entries[1].Int("Total References"), 2);
    EXPECT_EQ(entries[2].action, "DEACTIVATING EXISTING KEY");
    EXPECT_EQ(entries[2].Int("Active References"), 1);
    // Without a definition the key's length comes from the file, where it still is.
    EXPECT_EQ(entries[2].Int("Key Length"), 8);
    EXPECT_EQ(entries[3].action, "PURGING EXISTING KEY");
    // Logged after the drop: the file no longer describes the key.
    EXPECT_EQ(entries[3].Int("Key Length"), 0);
    EXPECT_EQ(entries[3].Int("Number of Segments"), 2);

    const auto text = testsupport::ReadFileBytes(LogPath());
    ASSERT_TRUE(text.has_value());
    for (size_t i = 0; i < text->size(); ++i) {
        if ((*text)[i] == '\n') {
            ASSERT_GT(i, 0u);
            EXPECT_EQ((*text)[i - 1], '\r') << "at " << i;
        }
        if ((*text)[i] == '\r') {
            ASSERT_LT(i + 1, text->size());
            EXPECT_EQ((*text)[i + 1], '\n');
        }
    }
    EXPECT_EQ(text->substr(text->size() - 4), "\r\n\r\n") << "an empty line after every entry";
}

TEST_F(IndexLogTest, ARefusedDeactivationOfAnIdleKeyIsNotLoggedAsOne) {
    UseRealEngine({"Index Log=1"});
    CreateDataFile(3);
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, kOrderDate), 0);
    ASSERT_EQ(DbDeactivateKey(handle), 0);
    ASSERT_EQ(DbDeactivateKey(handle), btr::kStatusKeyNotFound);
    const auto entries = Log();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].Int("Active References"), 0);
    EXPECT_EQ(entries[1].Int("Total References"), 1);
}

TEST_F(IndexLogTest, NothingIsLoggedWithIndexLogZeroOrAbsent) {
    for (const auto& lines : {std::vector<std::string>{"Index Log=0"}, std::vector<std::string>{}}) {
        UseRealEngine(lines);
        const std::string path = CreateDataFile(3);
        const int16_t handle = Open(path);
        ASSERT_EQ(Activate(handle, kOrderDate), 0);
        ASSERT_EQ(Activate(handle, kOrderDate), 0);
        ASSERT_EQ(DbDeactivateKey(handle), 0);
        ASSERT_EQ(DbPurgeKey(handle), 0);
        EXPECT_FALSE(platform::FileExists(LogPath().c_str()));
        DbCloseAll();
        std::remove(path.c_str());
        std::remove(RegistryPath().c_str());
    }
}

TEST_F(IndexLogTest, LookingWithoutChangingLogsNothing) {
    UseRealEngine({"Index Log=1"});
    CreateDataFile(3, {KeyDef({{9, 4}})});
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, KeyDef({{9, 4}})), 0);
    ASSERT_EQ(DbClearKeyRegistry(handle), btr::kStatusEndOfFile);
    EXPECT_FALSE(platform::FileExists(LogPath().c_str()));
}

TEST_F(IndexLogTest, EvictionLogsEachPurgeWithTheActivatedDefinitionsLength) {
    UseRealEngine({"Index Log=1"});
    std::vector<std::vector<BtrKeySpec>> permanent;
    for (int i = 0; i < 11; ++i) {
        std::vector<std::pair<int16_t, int16_t>> parts;
        for (int s = 0; s < 8; ++s) parts.emplace_back(static_cast<int16_t>(41 + i + s), int16_t{1});
        permanent.push_back(KeyDef(parts));
    }
    permanent.push_back(KeyDef({{60, 1}, {61, 1}, {62, 1}, {63, 1}}));
    CreateDataFile(10, permanent);
    const int16_t handle = Open(DataPath());
    ASSERT_EQ(Activate(handle, KeyDef({{20, 2}})), 0);
    const int idle = CurrentKey(handle);
    ASSERT_EQ(DbDeactivateKey(handle), 0);
    ASSERT_EQ(FreeSegments(handle), 2);
    std::remove(LogPath().c_str());

    const auto wide = KeyDef({{70, 5}, {80, 5}, {90, 5}});
    ASSERT_EQ(Activate(handle, wide), 0);
    const auto entries = Log();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].action, "PURGING EXISTING KEY");
    EXPECT_EQ(entries[0].Int("Key Number"), idle);
    EXPECT_EQ(entries[0].Int("Number of Segments"), 1);
    EXPECT_EQ(entries[0].Int("Key Length"), 15);
    EXPECT_EQ(entries[1].action, "BUILDING NEW KEY");
    EXPECT_EQ(entries[1].Int("Number of Segments"), 3);
}

TEST_F(IndexLogTest, LogHeldBrieflyDelaysTheEntry) {
    UseRealEngine({"Index Log=1"});
    CreateDataFile(3);
    const int16_t handle = Open(DataPath());
    const uint64_t sleptBefore = platform::testing::SleptMilliseconds();
    // The first three opens find the file held, as another workstation's append would.
    platform::testing::InjectFileFailure(platform::testing::FileOperation::kOpen, 0,
                                         platform::FileStatus::kAccessDenied, 3);
    const int32_t status = Activate(handle, kOrderDate);
    platform::testing::InjectFileFailure(platform::testing::FileOperation::kOpen, -1, platform::FileStatus::kOk);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(platform::testing::SleptMilliseconds() - sleptBefore, 3 * kRetryWaitMs);
    ASSERT_EQ(Log().size(), 1u);
    EXPECT_EQ(Log()[0].action, "BUILDING NEW KEY");
}

TEST_F(IndexLogTest, OtherFailuresToOpenTheLogAreRetriedAtOnce) {
    UseRealEngine({"Index Log=1"});
    CreateDataFile(3);
    const int16_t handle = Open(DataPath());
    const uint64_t sleptBefore = platform::testing::SleptMilliseconds();
    platform::testing::InjectFileFailure(platform::testing::FileOperation::kOpen, 0, platform::FileStatus::kIoError,
                                         10);
    const int32_t status = Activate(handle, kOrderDate);
    platform::testing::InjectFileFailure(platform::testing::FileOperation::kOpen, -1, platform::FileStatus::kOk);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(platform::testing::SleptMilliseconds(), sleptBefore);
    EXPECT_FALSE(platform::FileExists(LogPath().c_str())) << "ten failures drop the entry";
}

TEST_F(IndexLogTest, LogHeldByAnotherProcessPastTenAttemptsDropsTheEntryNotTheResult) {
    UseRealEngine({"Index Log=1"});
    CreateDataFile(3);
    const int16_t handle = Open(DataPath());
    testsupport::ChildProcess holder(testsupport::BuildPath("supidx_worker"), {});
    ASSERT_TRUE(holder.WaitFor("ready"));
    ASSERT_TRUE(holder.Send("holdlog " + LogPath()));
    ASSERT_EQ(holder.ReadLine(), "status 0");
    const uint64_t sleptBefore = platform::testing::SleptMilliseconds();

    EXPECT_EQ(Activate(handle, kOrderDate), 0);
    EXPECT_EQ(platform::testing::SleptMilliseconds() - sleptBefore, 10 * kRetryWaitMs);
    EXPECT_EQ(RegistryEntry(CurrentKey(handle)).total, 1);
    ASSERT_TRUE(holder.Send("droplog"));
    ASSERT_EQ(holder.ReadLine(), "status 0");
    EXPECT_EQ(testsupport::ReadFileBytes(LogPath()), std::string()) << "the entry was dropped";

    // Once the holder lets go, the next action is logged again.
    ASSERT_EQ(DbDeactivateKey(handle), 0);
    ASSERT_EQ(Log().size(), 1u);
    EXPECT_EQ(Log()[0].action, "DEACTIVATING EXISTING KEY");
}

}  // namespace
}  // namespace supidxtest
