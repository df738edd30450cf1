// tydb --help, tydb COMMAND --help, command-line mistakes, and the bash completion script.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <string>

#include "tool_runner.h"

using namespace testsupport;

namespace {

const char* const kCommands[] = {"demo",           "engine",   "settings", "lock",     "create",     "stat",
                                 "dump",           "registry", "keys",     "activate", "deactivate", "purge",
                                 "clear-registry", "load",     "export",   "log",      "completion"};

TEST(ToolHelp, TopLevelHelpNamesEveryCommandAndTheExitStatuses) {
    TempDir dir;
    auto help = RunTool(dir, "--help");
    ASSERT_EQ(help.exitCode, 0) << help.err;
    for (const char* command : kCommands) {
        EXPECT_NE(help.out.find(std::string("\n  ") + command + " "), std::string::npos) << command;
    }
    EXPECT_NE(help.out.find("Start with `tydb demo`"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("Exit status: 0 done; 1"), std::string::npos) << help.out;
}

TEST(ToolHelp, EveryCommandExplainsItself) {
    TempDir dir;
    for (const char* command : kCommands) {
        auto help = RunTool(dir, std::string(command) + " --help");
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_NE(help.out.find(std::string("Usage: ")), std::string::npos) << command;
        EXPECT_NE(help.out.find(std::string(" ") + command + " "), std::string::npos) << command << help.out;
        // The first line says what the command is for.
        EXPECT_GT(help.out.find('\n'), 20u) << command << ": " << help.out;
    }
    auto load = RunTool(dir, "load --help");
    EXPECT_NE(load.out.find("NAME OFFSET LENGTH TYPE"), std::string::npos) << load.out;
    EXPECT_NE(load.out.find("stored whole or not at all"), std::string::npos) << load.out;
}

TEST(ToolHelp, CommandLineMistakesExitWithTwo) {
    TempDir dir;
    for (const char* arguments : {"", "nosuch", "load", "export FILE", "log", "demo a b", "stat --bogus x",
                                  "create X --record-length 0", "completion", "completion zsh"}) {
        auto result = RunTool(dir, arguments);
        EXPECT_EQ(result.exitCode, 2) << "tydb " << arguments << ": " << result.out << result.err;
        EXPECT_FALSE(result.err.empty()) << arguments;
    }
}

// Runs the completion function for the words of a command line whose last word is being typed.
std::string Complete(const TempDir& dir, const std::string& words) {
    const std::string driver = "source '" + dir.File("tydb.bash") + "'\nCOMP_WORDS=(" + words +
                               ")\nCOMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n_tydb\necho \"${COMPREPLY[*]}\"\n";
    EXPECT_TRUE(WriteFileBytes(dir.File("complete.sh"), driver));
    // Run in the test's own folder, so that file names that complete are only the test's.
    const std::string command =
        "cd '" + dir.path() + "' && bash '" + dir.File("complete.sh") + "' > '" + dir.File("complete.out") + "' 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << words;
    return ReadFileBytes(dir.File("complete.out")).value_or("");
}

TEST(ToolCompletion, BashScriptCompletesCommandsAndTheirOptions) {
    TempDir dir;
    auto script = RunTool(dir, "completion bash");
    ASSERT_EQ(script.exitCode, 0) << script.err;
    ASSERT_TRUE(WriteFileBytes(dir.File("tydb.bash"), script.out));
    EXPECT_NE(script.out.find("complete -o filenames -F _tydb tydb"), std::string::npos);

    EXPECT_EQ(Complete(dir, "tydb lo"), "lock load log\n");
    EXPECT_EQ(Complete(dir, "tydb settings g"), "get\n");
    EXPECT_EQ(Complete(dir, "tydb export F --"), "--help --layout --key --unformatted --delimiter --encoding\n");
    EXPECT_EQ(Complete(dir, "tydb log DIR --a"), "--action\n");
    EXPECT_EQ(Complete(dir, "tydb stat --j"), "--json\n");
    // A word that is no option completes as a file name.
    ASSERT_TRUE(WriteFileBytes(dir.File("CUSTOMER.DAT"), ""));
    EXPECT_EQ(Complete(dir, "tydb stat '" + dir.File("CUST") + "'"), dir.File("CUSTOMER.DAT") + "\n");
}

}  // namespace
