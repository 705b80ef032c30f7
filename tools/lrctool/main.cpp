// lrctool: the command-line companion of QerimoLRC. Dispatches to the
// registered commands; errors go to standard error with a non-zero status.
#include "Command.h"

#include <cstdio>
#include <exception>
#include <iostream>

namespace {

void PrintHelp(std::FILE* to)
{
    std::fprintf(to, "usage: lrctool COMMAND [ARGS...]\n\n"
                     "FILE may be - for standard input.\n\ncommands:\n");
    for (const Command& command : RegisteredCommands())
        std::fprintf(to, "  %s %s\n      %s\n", command.name.c_str(), command.synopsis.c_str(),
                     command.description.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    const CommandArgs all(argv + 1, argv + argc);
    if (all.empty()) {
        PrintHelp(stderr);
        return 2;
    }
    if (all[0] == "--help" || all[0] == "-h" || all[0] == "help") {
        PrintHelp(stdout);
        return 0;
    }
    for (const Command& command : RegisteredCommands()) {
        if (command.name != all[0])
            continue;
        const CommandArgs args(all.begin() + 1, all.end());
        try {
            return command.run(args);
        } catch (const UsageError& error) {
            std::fprintf(stderr, "lrctool %s: %s\nusage: lrctool %s %s\n", command.name.c_str(), error.what(),
                         command.name.c_str(), command.synopsis.c_str());
            return 2;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "lrctool %s: %s\n", command.name.c_str(), error.what());
            return 1;
        }
    }
    std::fprintf(stderr, "lrctool: unknown command \"%s\" (see lrctool --help)\n", all[0].c_str());
    return 2;
}
