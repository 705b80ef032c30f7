#include "Command.h"

#include "Exceptions.h"
#include "Streams.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <iterator>

namespace {
std::vector<Command>& CommandTable()
{
    static std::vector<Command> table;
    return table;
}
}  // namespace

void RegisterCommand(Command command)
{
    auto& table = CommandTable();
    const auto at = std::lower_bound(table.begin(), table.end(), command.name,
        [](const Command& c, const std::string& name) { return c.name < name; });
    table.insert(at, std::move(command));
}

const std::vector<Command>& RegisteredCommands()
{
    return CommandTable();
}

std::string ReadInputBytes(const std::string& file)
{
    if (file != "-")
        return ReadFileBytes(file);
    std::string bytes;
    char chunk[1 << 16];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0)
        bytes.append(chunk, n);
    if (std::ferror(stdin))
        throw EReadError("Cannot read standard input");
    return bytes;
}

void WriteOutputBytes(const std::string& bytes)
{
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
        throw EWriteError("Unable to write to standard output");
}

int ParseInt32Argument(const std::string& text, const std::string& what)
{
    int value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first;
    const auto [end, error] = std::from_chars(first, last, value);
    if (text.empty() || error != std::errc() || end != last)
        throw UsageError(what + " must be a whole number of milliseconds (32-bit): \"" + text + "\"");
    return value;
}
