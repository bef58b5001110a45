#pragma once
// Where the program keeps its own settings files: beside the program file, as
// it always has; where that folder cannot be written (an installed program),
// in the user's configuration folder for this program, so that closing never
// fails for that reason.
#include <filesystem>

namespace sorvelin {

// True when a file can be created in `dir`.
bool IsWritableDir(const std::filesystem::path& dir);

// The folder for settings files of a program living in `programDir`.
std::filesystem::path SettingsDir(const std::filesystem::path& programDir);

// The same for the running program.
std::filesystem::path SettingsDir();

// The user's configuration folder for this program (not created here).
std::filesystem::path UserConfigDir();

} // namespace sorvelin
