#include "app/StartUp.h"

#include "compose/Cmpwin.h"
#include "explorer/Main.h"
#include "output/Mididevicewin.h"
#include "tracks/Trkwin.h"

#include "midi/Midispec.h"

namespace sorvelin {

void CreateWindows() {
    // The track settings window lists the program names as it is built.
    FillNameTables();
    MainForm1 = new TMainForm1;
    MidiDevice = new TMidiDevice;
    ComposeWin = new TComposeWin;
    TrackSettingWin = new TTrackSettingWin;
}

void DestroyWindows() {
    delete TrackSettingWin;
    TrackSettingWin = nullptr;
    delete ComposeWin;
    ComposeWin = nullptr;
    delete MidiDevice;
    MidiDevice = nullptr;
    delete MainForm1;
    MainForm1 = nullptr;
}

} // namespace sorvelin
