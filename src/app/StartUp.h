#pragma once
// The program's start-up and shut-down: the name tables, then the four
// windows, each once and in this order, reachable through their globals
// MainForm1, MidiDevice, ComposeWin and TrackSettingWin.
#include "ui/output/Mididevicewin.h"

namespace sorvelin {

struct StartOptions {
    // The MIDI output service, device.prf and the device window's modal
    // showing. The defaults give a silent program that keeps no device.prf;
    // the program itself passes the real ones.
    MidiDeviceOptions device;
};

// Creates the windows; the device window opens the remembered output and,
// when that fails, shows itself modally before the others are made.
void CreateWindows(StartOptions options = {});
// Destroys the windows in the reverse order and clears the globals. The
// device window goes after the composition window: it stops playback,
// silences and closes the output and writes device.prf. A song playing
// meanwhile stays alive, as the engine shares it with the window.
void DestroyWindows();

} // namespace sorvelin
