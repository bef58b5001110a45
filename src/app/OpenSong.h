#pragma once
// A song file named on the command line (or by a file manager through the
// desktop entry) opens in the composition window, by Load Song's road.
#include <string>

namespace sorvelin {

// Shows the composition window and loads the song there, with Load Song's
// questions and messages. The windows must exist (CreateWindows).
void OpenSong(const std::string& path);

} // namespace sorvelin
