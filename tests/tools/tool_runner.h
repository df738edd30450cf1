// Runs the tydb tool as people do, capturing its output and exit status.
#ifndef TYDB_TESTS_TOOLS_TOOL_RUNNER_H
#define TYDB_TESTS_TOOLS_TOOL_RUNNER_H

#include <string>

#include "test_support.h"

namespace testsupport {

struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs build/tydb with `arguments` (already quoted for the shell) in the current environment.
inline ToolResult RunTool(const TempDir& dir, const std::string& arguments) {
    const std::string out = dir.File("tool.out"), err = dir.File("tool.err");
    std::string command = "'";
    command += BuildPath("tydb");
    command += "' " + arguments + " >'" + out + "' 2>'" + err + "' </dev/null";
    ToolResult result;
    const int status = std::system(command.c_str());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFileBytes(out).value_or("");
    result.err = ReadFileBytes(err).value_or("");
    return result;
}

}  // namespace testsupport

#endif  // TYDB_TESTS_TOOLS_TOOL_RUNNER_H
