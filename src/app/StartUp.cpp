#include "app/StartUp.h"

#include "compose/Cmpwin.h"
#include "explorer/Main.h"
#include "output/Mididevicewin.h"
#include "tracks/Trkwin.h"

#ifdef SORVELIN_HAVE_NAME_TABLES
#include "midi/Midispec.h"
#endif

namespace sorvelin {

void CreateWindows() {
#ifdef SORVELIN_HAVE_NAME_TABLES
    // The track settings window lists the program names as it is built.
    FillNameTables();
#endif
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
