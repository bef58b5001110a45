#pragma once
// What `sorvelin` takes on its command line: --help, --version, or one song
// file to open (as a file manager passes it). Plain C++, read before the
// windows exist, so --help and --version answer without a display.
#include <optional>
#include <string>
#include <vector>

namespace sorvelin {

struct CommandLine {
    bool Help = false;
    bool Version = false;
    std::optional<std::string> Song;
    // Set when the arguments make no sense; said on standard error with the usage.
    std::string Error;
};

// The arguments after the program's name, with the window system's own
// options (-platform, -style, ...) already taken out by the application.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);
// True when an argument asks for --help or --version, looked for before the
// application is made (which would need a display).
bool AsksForTextOnly(int argc, char** argv);

std::string UsageText();
std::string VersionText();

} // namespace sorvelin
