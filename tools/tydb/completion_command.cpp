// tydb completion bash: a bash completion script for the tool, made from its own commands and
// options so that it never falls behind them.
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"

namespace tool {
namespace {

std::string OptionWords(const CLI::App& command) {
    std::string words;
    for (const CLI::App* sub : command.get_subcommands({})) words += sub->get_name() + " ";
    for (const CLI::Option* option : command.get_options()) {
        for (const std::string& name : option->get_lnames()) words += "--" + name + " ";
        for (const std::string& name : option->get_snames()) words += "-" + name + " ";
    }
    if (!words.empty()) words.pop_back();
    return words;
}

// One "case" arm per command path (such as "settings get") with the words that complete there,
// and the list of every path.
void AddCases(const CLI::App& command, const std::string& path, std::string* cases, std::string* paths) {
    for (const CLI::App* sub : command.get_subcommands({})) {
        const std::string subPath = path.empty() ? sub->get_name() : path + " " + sub->get_name();
        *cases += "        \"" + subPath + "\") words=\"" + OptionWords(*sub) + "\" ;;\n";
        *paths += subPath + "|";
        AddCases(*sub, subPath, cases, paths);
    }
}

void RunCompletion(const CLI::App& app) {
    std::string cases, paths = "|";
    AddCases(app, "", &cases, &paths);
    std::cout << "# bash completion for tydb. Load it with:  source <(tydb completion bash)\n"
                 "_tydb() {\n"
                 "    local cur=${COMP_WORDS[COMP_CWORD]} path=\"\" next words i\n"
                 "    local known=\""
              << paths
              << "\"\n"
                 "    # The command path so far: the words before the cursor that name commands.\n"
                 "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
                 "        next=\"${path:+$path }${COMP_WORDS[i]}\"\n"
                 "        if [[ $known == *\"|$next|\"* ]]; then path=$next; fi\n"
                 "    done\n"
                 "    case \"$path\" in\n"
                 "        \"\") words=\""
              << OptionWords(app) << "\" ;;\n"
              << cases
              << "    esac\n"
                 "    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
                 "    # Anything else is a file or folder name.\n"
                 "    if [[ $cur != -* ]]; then COMPREPLY+=($(compgen -f -- \"$cur\")); fi\n"
                 "}\n"
                 "complete -o filenames -F _tydb tydb\n";
    std::cout.flush();
}

}  // namespace

void AddCompletionCommand(CLI::App& app) {
    auto* command = app.add_subcommand("completion", "Print a shell completion script for tydb");
    auto* bash = command->add_subcommand("bash",
                                         "Bash: source <(tydb completion bash), or save it in "
                                         "/etc/bash_completion.d/tydb");
    command->require_subcommand(1);
    CLI::App* root = &app;
    bash->callback([root] { RunCompletion(*root); });
}

}  // namespace tool
