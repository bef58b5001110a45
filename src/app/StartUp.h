#pragma once
// The program's start-up and shut-down: the name tables, then the four
// windows, each once and in this order, reachable through their globals
// MainForm1, MidiDevice, ComposeWin and TrackSettingWin.

namespace sorvelin {

void CreateWindows();
// Destroys the windows in the reverse order and clears the globals.
void DestroyWindows();

} // namespace sorvelin
