#pragma once
// The composition window: the score picture, the scale and rhythm lists, the
// note options, and the buttons that play, export, save and load the
// composition. Every handler copies the controls into the composition model,
// runs the model's operation inside the error guard and shows the result.
#include "compose/ComposeModel.h"
#include "compose/SongRender.h"
#include "explorer/ExplorerModel.h"
#include "midi/Mididata.h"
#include "sound/MidiTransport.h"

#include <QImage>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace sorvelin {

class TransportFollower;
class ClockFollower;

// How often the transport is looked at: often while following it (the song
// is timed by the transport's own frames, the look only notices a change),
// seldom while not, to notice that following was switched on.
inline constexpr int TransportFollowMs = 5;
inline constexpr int TransportIdleMs = 250;

// What a file dialog of this window asks for.
struct FileRequest {
    enum Kind { SaveMidi, SaveSong, LoadSong, SaveAudio, SaveScore };
    Kind kind = SaveMidi;
    QString filter;        // "MIDI Files (*.mid)" and so on
    QString defaultSuffix; // without the dot
    QString initialName;
    bool save = true; // a save dialog (asks before overwriting)
};

// Returns the chosen file, or an empty text when the user cancelled.
using FileNameFunction = std::function<QString(const FileRequest&)>;

// How the window reaches the main window: its model, reading its fields into
// the model, and running an operation over the model as the main window's own
// handlers do (fields in, operation, fields and pictures out).
struct ExplorerLink {
    std::function<ExplorerModel&()> model;
    std::function<void()> readFields;
    std::function<bool(const std::function<void()>&)> run;
};

class TComposeWin : public QWidget {
    Q_OBJECT
public:
    explicit TComposeWin(QWidget* parent = nullptr);
    ~TComposeWin() override;

    // Notes per part of the next Compose.
    int GetNoteCount() const { return model_.GetNoteCount(); }

    // Controls, named as their objectName.
    QFrame* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QComboBox* ScaleComboBox1 = nullptr;
    QComboBox* RhytmComboBox2 = nullptr;
    QGroupBox* OoR = nullptr;
    QGroupBox* IterationLimit = nullptr;
    QGroupBox* ContinuousNumberAssgn = nullptr;
    QGroupBox* Notesare = nullptr;
    QButtonGroup* OoRButtons = nullptr;
    QButtonGroup* IterationLimitButtons = nullptr;
    QButtonGroup* ContinuousButtons = nullptr;
    QButtonGroup* NotesareButtons = nullptr;
    QCheckBox* DynamicAssign = nullptr;
    QLineEdit* LongLimit = nullptr;
    QLineEdit* NoteCount = nullptr;
    QCheckBox* ShowNote = nullptr;
    QCheckBox* ShowSeries = nullptr;
    QPushButton* Button1 = nullptr; // "ReDraw"
    QAction* ActionPlay = nullptr;
    QPushButton* PlayButton = nullptr;
    QPushButton* StopButton = nullptr;
    QPushButton* SaveButton2 = nullptr; // "Save MIDI"
    QPushButton* SaveSongButton = nullptr;
    QPushButton* LoadSongButton = nullptr;
    QPushButton* DeviceButton = nullptr;
    QPushButton* TrackSetupButton = nullptr;
    QLineEdit* Tempo = nullptr;
    QComboBox* Velocity = nullptr;
    QCheckBox* Loop = nullptr;
    QPushButton* SaveAudioButton = nullptr; // "Save Audio"
    QPushButton* SaveScoreButton = nullptr; // "Save Score"

    void SetExplorerLink(ExplorerLink link) { explorer_ = std::move(link); }
    // The file dialogs; tests put a function in their place.
    void SetFileNameFunction(FileNameFunction function) { askFileName_ = std::move(function); }

    // Handlers; each runs inside the error guard.
    void Button1Click(); // ReDraw
    void DrawScore();
    void RhytmComboBox2Change();
    void ScaleComboBox1Change();
    void NoteCountChange();
    void TempoChange();
    void PlayClick();
    void StopClick();
    // The main window's "Audition": the first bars of its line as it stands,
    // with this window's scale, rhythm, note count and tempo and the part
    // settings, in place of whatever plays (silenced as Stop does). Nothing
    // sounds without an output, for a line or setting that Compose or Play
    // would refuse (they say why), or when sampling the line could hold the
    // window longer than an audition may.
    void Audition();
    void SaveButton2Click();
    // The last rendered song through the built-in synthesizer, as WAV or
    // FLAC by the file name's extension.
    void SaveAudioClick();
    // The last rendered song as sheet music: MusicXML, or the compressed
    // .mxl container by the file name's extension.
    void SaveScoreClick();
    void SaveSongClick();
    void LoadSongClick();
    // Load Song's road for a file already chosen (a song opened from the
    // command line or a file manager): the same questions and messages.
    void LoadSongFile(const QString& name);
    void DeviceClick();
    void TrackSetupClick();
    // Space: Play, or Stop while playing.
    void PlayOrStop();

    // The model behind the window, and the last picture drawn.
    ComposeModel& Model() { return model_; }
    RenderedSong& Rendered() { return song_; }
    const QImage& Score() const { return score_; }

    // Copies the controls into the model, and back.
    void ReadControls();
    void WriteControls();

public slots:
    // Rebuilds the Dynamic Assign lists and the score from the main
    // window's series (after every Compose).
    void ReDraw();
    // The end of playback: Play may be pressed again.
    void RestorePlayButton();
    // Redraws the play position from the engine's song time; removes it once
    // nothing plays.
    void ShowPlayPosition();

protected:
    // Beside the explorer window when no saved place was given.
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void BuildOptions();
    void BuildButtons();
    void BuildPlayingOptions();
    void SetTabOrder();
    void ConnectHandlers();
    QString AskFileName(const FileRequest& request);
    // Save MIDI's, Save Audio's and Save Score's check: a song was rendered, and the user
    // agrees to save it as last played when the composition changed since.
    bool ConfirmPlayedSong();
    void RegisterPlayEnd();
    // Renders the song for Play; false (Play restored) when nothing plays.
    bool RenderForPlay();
    // JACK's transport: whether Play and Stop go through it, one look at
    // it, and leading its tempo with the song's.
    bool FollowingTransport() const;
    void FollowTransportTick();
    // The MIDI clock that came in: taken on each look while following it.
    void FollowClock(const std::vector<SyncMessage>& in);
    void LeadTransport(bool start);
    ExplorerModel& Explorer();
    PartSettingsTable& Parts();

    ComposeModel model_;
    RenderedSong song_;
    // PlayInputs at the last Play that rendered: Save MIDI asks before saving
    // that song once the composition has changed.
    std::string playedInputs_;
    sysexEvent gmSystemOn_;
    QImage score_;
    FileNameFunction askFileName_;
    ExplorerLink explorer_;
    ExplorerModel noExplorer_; // series and limit while there is no main window
    PartSettingsTable noParts_ = DefaultPartSettings(); // while there is no track window
    bool updating_ = false; // controls written by the program, not the user
    QTimer* positionTimer_ = nullptr;
    QTimer* transportTimer_ = nullptr; // looks at the transport while following it
    std::unique_ptr<TransportFollower> follower_;
    std::unique_ptr<ClockFollower> clockFollower_;
    int shownStep_ = -1; // the series index the play position shows, -1 for none
    int scoreNotes_ = 1; // the notes per part the score was drawn for
};

extern TComposeWin* ComposeWin;

} // namespace sorvelin
