#include "app/CommandLine.h"

#include <string_view>

namespace sorvelin {

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            line.Help = true;
        } else if (argument == "--version") {
            line.Version = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            line.Error = "unknown option " + argument;
        } else if (line.Song) {
            line.Error = "one song file at a time (" + *line.Song + ", " + argument + ")";
        } else {
            line.Song = argument;
        }
    }
    return line;
}

bool AsksForTextOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--help" || argument == "-h" || argument == "--version") {
            return true;
        }
    }
    return false;
}

std::string UsageText() {
    return "Usage: sorvelin [SONG.svl]\n"
           "Explore a fractal, draw a line across it and compose music from it.\n"
           "With SONG.svl the song is loaded as Load Song does.\n"
           "\n"
           "  -h, --help     show this text and exit\n"
           "      --version  show the version and exit\n"
           "\n"
           "See sorvelin(1); sorvelin-render(1) renders songs without windows.\n";
}

std::string VersionText() {
    return "sorvelin " SORVELIN_VERSION "\n";
}

} // namespace sorvelin
