// lrctool's command table. Each cmd_*.cpp file registers its commands with a
// static CommandRegistration; main.cpp looks the first argument up here.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using CommandArgs = std::vector<std::string>;

struct Command {
    std::string name;
    std::string synopsis;     // arguments, as shown by --help
    std::string description;  // one line
    std::function<int(const CommandArgs&)> run;  // returns the exit status
};

void RegisterCommand(Command command);
const std::vector<Command>& RegisteredCommands();

struct CommandRegistration {
    explicit CommandRegistration(Command command) { RegisterCommand(std::move(command)); }
};

// Thrown for wrong arguments: main prints the command's usage and exits 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The whole content of FILE, or of standard input when FILE is "-".
std::string ReadInputBytes(const std::string& file);
// Writes bytes to standard output exactly (binary), raising on failure.
void WriteOutputBytes(const std::string& bytes);

// Strict decimal reading of a signed 32-bit argument; UsageError otherwise.
int ParseInt32Argument(const std::string& text, const std::string& what);
