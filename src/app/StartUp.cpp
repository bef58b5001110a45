#include "app/StartUp.h"

#include "ui/compose/Cmpwin.h"
#include "ui/explorer/Main.h"
#include "ui/output/Mididevicewin.h"
#include "ui/tracks/Trkwin.h"

#include "midi/Midispec.h"

namespace sorvelin {

void CreateWindows(StartOptions options) {
    // The track settings window lists the program names as it is built.
    FillNameTables();
    MainForm1 = new TMainForm1;
    MidiDevice = new TMidiDevice(std::move(options.device));
    MidiDevice->FormCreate();
    ComposeWin = new TComposeWin;
    ComposeWin->SetExplorerLink(
        {[]() -> ExplorerModel& { return MainForm1->Model(); }, [] { MainForm1->ReadFields(); },
         [](const std::function<void()>& operation) { return MainForm1->RunExternal(operation); }});
    TrackSettingWin = new TTrackSettingWin;
    TrackSettingWin->SetEngine(&MidiDevice->Engine());
    MainForm1->SetCompanionLink({[] { return ComposeWin->GetNoteCount(); },
                                 [] {
                                     ComposeWin->ReDraw();
                                     ComposeWin->show();
                                     ComposeWin->raise();
                                 },
                                 [] { return MidiDevice->Model().WithoutSoundByChoice(); },
                                 []() -> QWidget* { return ComposeWin; },
                                 []() -> QWidget* { return TrackSettingWin; },
                                 [] {
                                     if (ComposeWin != nullptr) {
                                         ComposeWin->Audition();
                                     }
                                 }});
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
