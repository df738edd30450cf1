// --json on every inspection command: one well-formed JSON object a run, for scripts.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <memory>
#include <string>

#include "fake_engine_control.h"
#include "tool_runner.h"

using namespace testsupport;

namespace {

// A strict reader of one JSON value; says where the text stops being JSON.
class JsonChecker {
public:
    explicit JsonChecker(const std::string& text) : text_(text) {}

    // True when the text is exactly one object followed by a newline.
    bool IsOneObject() {
        SkipBlanks();
        if (at_ >= text_.size() || text_[at_] != '{' || !Value()) return false;
        // The value ran to the end, and the text ends in a single newline.
        const size_t size = text_.size();
        return at_ == size && size >= 2 && text_[size - 1] == '\n' && text_[size - 2] != '\n';
    }
    size_t at() const { return at_; }

private:
    void SkipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n')) ++at_;
    }
    bool Literal(const char* word) {
        const std::string w(word);
        if (text_.compare(at_, w.size(), w) != 0) return false;
        at_ += w.size();
        return true;
    }
    bool String() {
        if (text_[at_] != '"') return false;
        for (++at_; at_ < text_.size(); ++at_) {
            const auto c = static_cast<unsigned char>(text_[at_]);
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c < 0x20) return false;
            if (c == '\\') {
                ++at_;
                if (at_ >= text_.size() || std::string("\"\\/bfnrtu").find(text_[at_]) == std::string::npos)
                    return false;
            }
        }
        return false;
    }
    bool Number() {
        const size_t start = at_;
        if (text_[at_] == '-') ++at_;
        while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) ++at_;
        return at_ > start && std::isdigit(static_cast<unsigned char>(text_[at_ - 1]));
    }
    bool Value() {
        SkipBlanks();
        if (at_ >= text_.size()) return false;
        const char c = text_[at_];
        bool ok;
        if (c == '{') {
            ok = Members('}', true);
        } else if (c == '[') {
            ok = Members(']', false);
        } else if (c == '"') {
            ok = String();
        } else if (c == 't' || c == 'f' || c == 'n') {
            ok = Literal("true") || Literal("false") || Literal("null");
        } else {
            ok = Number();
        }
        SkipBlanks();
        return ok;
    }
    bool Members(char close, bool named) {
        ++at_;
        SkipBlanks();
        if (at_ < text_.size() && text_[at_] == close) {
            ++at_;
            return true;
        }
        for (;;) {
            if (named) {
                SkipBlanks();
                if (!String()) return false;
                SkipBlanks();
                if (at_ >= text_.size() || text_[at_++] != ':') return false;
            }
            if (!Value() || at_ >= text_.size()) return false;
            if (text_[at_] == close) {
                ++at_;
                return true;
            }
            if (text_[at_++] != ',') return false;
        }
    }

    const std::string& text_;
    size_t at_ = 0;
};

TEST(JsonCheckerSelfTest, TellsJsonFromText) {
    EXPECT_TRUE(JsonChecker("{\"a\":[1,-2,{\"b\":null}],\"c\":\"x\\\"y\"}\n").IsOneObject());
    EXPECT_FALSE(JsonChecker("{\"a\":1,}\n").IsOneObject());
    EXPECT_FALSE(JsonChecker("{\"a\":1}\nmore\n").IsOneObject());
    EXPECT_FALSE(JsonChecker("File: x\n").IsOneObject());
    EXPECT_FALSE(JsonChecker("{\"a\":\"tab\there\"}\n").IsOneObject());
}

class JsonOutput : public ::testing::Test {
protected:
    void SetUp() override {
        folder = dir.File("company");
        ASSERT_EQ(RunTool(dir, "demo '" + folder + "' --customers 20 --invoices 40").exitCode, 0);
        settings = std::make_unique<ScopedEnv>("TYWREG_FILE", folder + "/tywreg.ini");
    }
    void ExpectJson(const std::string& arguments, const std::string& mustHold) {
        auto result = RunTool(dir, arguments + " --json");
        EXPECT_EQ(result.exitCode, 0) << arguments << ": " << result.err;
        JsonChecker checker(result.out);
        EXPECT_TRUE(checker.IsOneObject()) << arguments << ": not JSON at byte " << checker.at() << ": " << result.out;
        EXPECT_NE(result.out.find(mustHold), std::string::npos) << arguments << ": " << result.out;
    }

    TempDir dir;
    std::string folder;
    std::unique_ptr<ScopedEnv> settings;
};

TEST_F(JsonOutput, EveryInspectionCommandPrintsOneObject) {
    ExpectJson("engine", "\"present\":true");
    ExpectJson("stat '" + folder + "/INVOICE.DAT'", "\"records\":40");
    ExpectJson("lock '" + folder + "'", "\"present\":false");
    ExpectJson("registry '" + folder + "'", "\"file\":\"INVOICE.DAT\",\"key\":3");
    ExpectJson("keys '" + folder + "/INVOICE.DAT'",
               "{\"number\":3,\"segments\":\"17:4\",\"length\":4,\"supplemental\":true,\"registry\":{\"active\":0,"
               "\"total\":1,");
    ExpectJson("keys '" + folder + "/CUSTOMER.DAT'",
               "{\"number\":1,\"segments\":\"5:30\",\"length\":30,"
               "\"supplemental\":false}");
    ExpectJson("log '" + folder + "'", "\"action\":\"DEACTIVATING EXISTING KEY\"");
}

TEST_F(JsonOutput, KeysOfAFileWhoseDirectoryHasNoRegistrySayNull) {
    const std::string other = dir.File("other");
    ASSERT_EQ(RunTool(dir, "demo '" + other + "' --customers 10 --invoices 10").exitCode, 0);
    ASSERT_EQ(std::remove((other + "/tysupidx.db").c_str()), 0);
    auto keys = RunTool(dir, "keys --json '" + other + "/INVOICE.DAT'");
    ASSERT_EQ(keys.exitCode, 0) << keys.err;
    EXPECT_NE(keys.out.find("\"supplemental\":true,\"registry\":null}"), std::string::npos) << keys.out;
}

}  // namespace
