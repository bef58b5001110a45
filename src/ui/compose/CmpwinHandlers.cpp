// The composition window's handlers: the tables, the score, Play, Stop,
// Save MIDI, Save Song and Load Song, and the two companion windows.
#include "ui/compose/Cmpwin.h"

#include "base/Convert.h"
#include "base/Errors.h"
#include "compose/Audition.h"
#include "compose/SongActions.h"
#include "output/ClockFollow.h"
#include "output/TrackRender.h"
#include "output/TransportFollow.h"
#include "ui/common/ErrorGuard.h"
#include "ui/common/MessageBox.h"
#include "ui/common/ProgressDialog.h"
#include "ui/compose/ScoreDraw.h"
#include "ui/output/Mididevicewin.h"
#include "ui/tracks/Trkwin.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>

namespace sorvelin {
namespace {

inline constexpr const char* ChangedSincePlay =
    "The composition changed after the last Play. Save the song as last played?";
inline constexpr const char* RenderedWithoutOutput =
    "No MIDI output is open, so nothing sounds. The song was rendered: \"Save MIDI\" saves it, "
    "and \"Device Setup\" chooses an output to hear it.";

void SetItems(QComboBox* list, const std::vector<std::string>& names) {
    if (list->count() == static_cast<int>(names.size())) {
        bool same = true;
        for (int i = 0; i < list->count() && same; ++i) {
            same = list->itemText(i).toStdString() == names[static_cast<std::size_t>(i)];
        }
        if (same) {
            return;
        }
    }
    list->clear();
    for (const std::string& name : names) {
        list->addItem(QString::fromStdString(name));
    }
}

// A Scala scale's description shows when the pointer rests on its item.
void SetToolTips(QComboBox* list, const std::vector<std::string>& tips) {
    for (int i = 0; i < list->count() && i < static_cast<int>(tips.size()); ++i) {
        const std::string& tip = tips[static_cast<std::size_t>(i)];
        list->setItemData(i, tip.empty() ? QVariant() : QVariant(QString::fromStdString(tip)),
                          Qt::ToolTipRole);
    }
}

void Check(QButtonGroup* group, int id) {
    // An index beyond the items selects the last one.
    const int last = static_cast<int>(group->buttons().size()) - 1;
    QAbstractButton* button = group->button(std::clamp(id, 0, last));
    button->setChecked(true);
}

std::filesystem::path ToPath(const QString& name) {
    return std::filesystem::path(name.toStdString());
}

} // namespace

ExplorerModel& TComposeWin::Explorer() {
    return explorer_.model ? explorer_.model() : noExplorer_;
}

PartSettingsTable& TComposeWin::Parts() {
    return TrackSettingWin != nullptr ? TrackSettingWin->Parts : noParts_;
}

void TComposeWin::ReadControls() {
    ComposeControls& c = model_.Controls;
    c.ScaleComboBox1 = ScaleComboBox1->currentIndex();
    c.RhytmComboBox2 = RhytmComboBox2->currentIndex();
    c.OoR = OoRButtons->checkedId();
    c.IterationLimit = IterationLimitButtons->checkedId();
    c.ContinuousNumberAssgn = ContinuousButtons->checkedId();
    c.Notesare = NotesareButtons->checkedId();
    c.DynamicAssign = DynamicAssign->isChecked();
    c.LongLimit = LongLimit->text().toStdString();
    c.NoteCount = NoteCount->text().toStdString();
    c.ShowNote = ShowNote->isChecked();
    c.ShowSeries = ShowSeries->isChecked();
    c.Tempo = Tempo->text().toStdString();
    c.Velocity = Velocity->currentIndex();
    c.Loop = Loop->isChecked();
}

void TComposeWin::WriteControls() {
    const QScopedValueRollback<bool> quiet(updating_, true);
    const ComposeControls& c = model_.Controls;
    SetItems(ScaleComboBox1, model_.ScaleLines.Names);
    SetToolTips(ScaleComboBox1, model_.ScaleTooltips);
    SetItems(RhytmComboBox2, model_.RhythmLines.Names);
    ScaleComboBox1->setCurrentIndex(c.ScaleComboBox1);
    RhytmComboBox2->setCurrentIndex(c.RhytmComboBox2);
    Check(OoRButtons, c.OoR);
    Check(IterationLimitButtons, c.IterationLimit);
    Check(ContinuousButtons, c.ContinuousNumberAssgn);
    Check(NotesareButtons, c.Notesare);
    DynamicAssign->setChecked(c.DynamicAssign);
    DynamicAssign->setEnabled(c.DynamicAssignEnabled);
    if (LongLimit->text().toStdString() != c.LongLimit) {
        LongLimit->setText(QString::fromStdString(c.LongLimit));
    }
    if (NoteCount->text().toStdString() != c.NoteCount) {
        NoteCount->setText(QString::fromStdString(c.NoteCount));
    }
    ShowNote->setChecked(c.ShowNote);
    ShowSeries->setChecked(c.ShowSeries);
    if (Tempo->text().toStdString() != c.Tempo) {
        Tempo->setText(QString::fromStdString(c.Tempo));
    }
    Velocity->setCurrentIndex(std::clamp(c.Velocity, 0, VelocityItems - 1));
    Loop->setChecked(c.Loop);
}

void TComposeWin::RhytmComboBox2Change() {
    model_.Controls.RhytmComboBox2 = RhytmComboBox2->currentIndex();
    try {
        model_.RhytmComboBox2Change();
    } catch (...) {
        WriteControls(); // a broken entry leaves the selection in force
        throw;
    }
}

void TComposeWin::ScaleComboBox1Change() {
    model_.Controls.ScaleComboBox1 = ScaleComboBox1->currentIndex();
    try {
        model_.ScaleComboBox1Change();
    } catch (...) {
        WriteControls();
        throw;
    }
    if (isVisible()) {
        Button1Click();
    }
}

void TComposeWin::NoteCountChange() {
    model_.Controls.NoteCount = NoteCount->text().toStdString();
    // A count too small to sample is taken as typed (the user may be on the
    // way to a larger one); Compose then refuses it and says why.
    const int count = StrToInt(model_.Controls.NoteCount, NoteCountCaption);
    if (count < MinNoteCount) {
        model_.NotesPerPart = count;
        return;
    }
    model_.NoteCountChange();
}

void TComposeWin::TempoChange() {
    model_.Controls.Tempo = Tempo->text().toStdString();
    try {
        model_.TempoChange();
    } catch (...) {
        // The refused text goes; the tempo in force shows again.
        model_.Controls.Tempo = IntToStr(model_.TempoBpm);
        WriteControls();
        throw;
    }
}

void TComposeWin::ReDraw() {
    Guarded([this] { Button1Click(); });
}

void TComposeWin::Button1Click() {
    ReadControls();
    ComposeRedraw(model_, Explorer());
    WriteControls();
    DrawScore();
}

void TComposeWin::DrawScore() {
    ReadControls();
    ExplorerModel& explorer = Explorer();
    const int limit = explorer.Engine().GetLimit();
    const NoteMapper mapper = model_.Mapper(limit);
    ScoreInput input;
    input.series = explorer.Series().Values();
    input.notesPerPart = model_.NotesPerPart;
    input.limit = limit;
    input.scaleMin = model_.Scale.ScaleMin;
    input.scaleMax = model_.Scale.ScaleMax;
    const PartSettingsTable& parts = Parts();
    for (std::size_t p = 0; p < parts.size(); ++p) {
        input.used[p] = parts[p].UsePart;
    }
    input.mapper = &mapper;
    input.showNote = ShowNote->isChecked();
    input.showSeries = ShowSeries->isChecked();
    sorvelin::DrawScore(score_, input);
    scoreNotes_ = input.notesPerPart;
    Image1->setPixmap(QPixmap::fromImage(score_));
    shownStep_ = -1;
}

void TComposeWin::ShowPlayPosition() {
    const std::int32_t ticks = MidiDevice != nullptr ? MidiDevice->Engine().SongTicks() : -1;
    const int step = ticks < 0 ? -1 : StepAt(song_.Timeline(), ticks);
    if (ticks < 0) {
        positionTimer_->stop();
    }
    if (step == shownStep_) {
        return;
    }
    shownStep_ = step;
    QImage shown = score_;
    DrawPlayPosition(shown, step, scoreNotes_);
    Image1->setPixmap(QPixmap::fromImage(shown));
}

bool TComposeWin::RenderForPlay() {
    PlaybackEngine& engine = MidiDevice->Engine();
    const bool silent = !MidiDevice->Output().IsOpen();
    // An output whose server went away is refused by the engine, which says
    // why once; the GM reset would only say it a second time.
    if (!silent && MidiDevice->Output().Failure() == kMidiOk) {
        engine.SendSysEx(gmSystemOn_);
    }
    const bool rendered = Guarded([this] {
        ReadControls();
        RenderPlaySong(song_, Explorer(), model_, Parts());
        playedInputs_ = PlayInputs(Explorer(), model_, Parts());
    });
    std::shared_ptr<midiTrack> track = song_.PlayTrack();
    if (!rendered || track == nullptr || track->Count() == 0) {
        return false;
    }
    if (silent) {
        // Without an output the song is still rendered, for Save MIDI.
        ShowMessage(RenderedWithoutOutput);
        return false;
    }
    return true;
}

bool TComposeWin::FollowingTransport() const {
    return MidiDevice != nullptr && MidiDevice->Model().Sync().followTransport &&
           MidiDevice->Output().WithTransport([](MidiTransport&) {});
}

void TComposeWin::FollowClock(const std::vector<SyncMessage>& in) {
    if (!clockFollower_) {
        clockFollower_ = std::make_unique<ClockFollower>(MidiDevice->Engine());
        clockFollower_->SetTrackSource([this]() -> std::shared_ptr<midiTrack> {
            return RenderForPlay() ? song_.PlayTrack() : nullptr;
        });
        // On JACK the song keeps to the server's frames the clock came in by.
        MidiDevice->Output().WithTransport(
            [](MidiTransport& transport) { transport.KeepToTransport(true); });
    }
    for (const SyncMessage& message : in) {
        if (clockFollower_->Take(message) == ClockFollower::Change::Started &&
            MidiDevice->Engine().IsPlaying()) {
            ActionPlay->setEnabled(false);
            positionTimer_->start();
        }
    }
    clockFollower_->Idle(std::chrono::steady_clock::now());
}

void TComposeWin::FollowTransportTick() {
    std::vector<SyncMessage> in;
    const bool clockIn = MidiDevice != nullptr && MidiDevice->ReadClockIn(in);
    if (clockIn) {
        FollowClock(in);
    } else if (clockFollower_) {
        clockFollower_.reset();
        if (MidiDevice != nullptr) {
            MidiDevice->Output().WithTransport(
                [](MidiTransport& transport) { transport.KeepToTransport(false); });
        }
    }
    const bool following = FollowingTransport();
    transportTimer_->setInterval(following || clockIn ? TransportFollowMs : TransportIdleMs);
    if (!following) {
        if (follower_) {
            follower_->Reset();
        }
        return;
    }
    if (!follower_) {
        follower_ = std::make_unique<TransportFollower>(MidiDevice->Engine(), MidiDevice->Output());
        // The transport started rolling: the composition as it stands now.
        follower_->SetTrackSource([this]() -> std::shared_ptr<midiTrack> {
            return RenderForPlay() ? song_.PlayTrack() : nullptr;
        });
    }
    const TransportFollower::Change change = follower_->Poll();
    if (change == TransportFollower::Change::Started ||
        change == TransportFollower::Change::Moved) {
        if (MidiDevice->Engine().IsPlaying()) {
            ActionPlay->setEnabled(false);
            positionTimer_->start();
        }
    }
}

void TComposeWin::LeadTransport(bool start) {
    if (MidiDevice == nullptr) {
        return;
    }
    const SyncSettings& sync = MidiDevice->Model().Sync();
    if (!sync.sendClock || !sync.timebaseMaster || sync.followTransport) {
        return;
    }
    const std::shared_ptr<midiTrack> track = song_.PlayTrack();
    const int tempo =
        track != nullptr && track->song != nullptr ? track->song->TempoAt(0) : DefaultTempo;
    MidiDevice->Output().WithTransport([&](MidiTransport& transport) {
        if (start) {
            // The song starts at the transport's start, and its bars lead.
            if (transport.BecomeTimebaseMaster({tempo, 120, 4})) {
                transport.Locate(0);
                transport.StartRolling();
            }
        } else if (transport.IsTimebaseMaster()) {
            transport.StopRolling();
            transport.ReleaseTimebase();
        }
    });
}

void TComposeWin::PlayClick() {
    ActionPlay->setEnabled(false);
    if (MidiDevice == nullptr) {
        ActionPlay->setEnabled(true);
        return;
    }
    if (FollowingTransport()) {
        // The transport plays the song: its start renders and enters it.
        MidiDevice->Output().WithTransport(
            [](MidiTransport& transport) { transport.StartRolling(); });
        ActionPlay->setEnabled(true);
        return;
    }
    PlaybackEngine& engine = MidiDevice->Engine();
    if (!RenderForPlay()) {
        ActionPlay->setEnabled(true);
        return;
    }
    // The engine shares the track (and through it the song) while it plays.
    std::shared_ptr<midiTrack> track = song_.PlayTrack();
    std::optional<PlaybackLoop> loop;
    if (model_.Controls.Loop) {
        const SongLoop span = LoopOf(song_.Timeline());
        loop = PlaybackLoop{span.from, span.to};
    }
    Guarded([&] { engine.StartPlayback(track, loop); });
    if (!engine.IsPlaying()) {
        ActionPlay->setEnabled(true);
        return;
    }
    LeadTransport(true);
    positionTimer_->start();
    ShowPlayPosition();
}

void TComposeWin::RestorePlayButton() {
    ActionPlay->setEnabled(true);
    LeadTransport(false);
    ShowPlayPosition();
}

void TComposeWin::Audition() {
    if (MidiDevice == nullptr || !MidiDevice->Output().IsOpen() ||
        MidiDevice->Output().Failure() != kMidiOk) {
        return;
    }
    ReadControls();
    std::shared_ptr<midiTrack> track;
    try {
        track = AuditionLine(Explorer(), model_, Parts(), MachineComposeSpeed());
    } catch (const UserError&) {
        return;
    } catch (const ConvertError&) {
        return;
    } catch (const IndexError&) {
        return;
    }
    if (track == nullptr) {
        return;
    }
    PlaybackEngine& engine = MidiDevice->Engine();
    engine.StopPlayback();
    // The song's play position goes from the score: the audition is no part of it.
    ShowPlayPosition();
    // Nor is it a song for the studio: twenty Starts a second would throw a
    // DAW that follows Sorvelin's clock, so an audition goes without clock.
    const bool clock = engine.SendsClock();
    engine.SetSendClock(false);
    engine.StartPlayback(std::move(track));
    engine.SetSendClock(clock);
}

void TComposeWin::StopClick() {
    if (MidiDevice == nullptr) {
        return;
    }
    if (FollowingTransport()) {
        MidiDevice->Output().WithTransport(
            [](MidiTransport& transport) { transport.StopRolling(); });
    }
    MidiDevice->Engine().StopPlayback();
    LeadTransport(false);
}

QString TComposeWin::AskFileName(const FileRequest& request) {
    if (askFileName_) {
        return askFileName_(request);
    }
    QFileDialog dialog(this);
    // A title that says what the dialog is for, read first by a screen reader.
    static const char* const titles[] = {"Save MIDI File", "Save Song", "Load Song", "Save Audio",
                                         "Save Score"};
    dialog.setWindowTitle(titles[request.kind]);
    dialog.setNameFilter(request.filter);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (request.save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::ReadOnly, false);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (!request.initialName.isEmpty() && !request.initialName.contains('*')) {
        dialog.selectFile(request.initialName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().first();
}

bool TComposeWin::ConfirmPlayedSong() {
    if (!song_.HasSong()) {
        ShowMessage(NothingRenderedMessage);
        return false;
    }
    // What is saved is the song as last played, by design; a composition
    // changed since then is not saved without a word.
    ReadControls();
    return PlayInputs(Explorer(), model_, Parts()) == playedInputs_ ||
           AskSaveOrCancel(ChangedSincePlay);
}

void TComposeWin::SaveButton2Click() {
    if (!ConfirmPlayedSong()) {
        return;
    }
    const QString name =
        AskFileName({FileRequest::SaveMidi, "MIDI Files (*.mid)", "mid", {}, true});
    if (name.isEmpty()) {
        return;
    }
    song_.SaveMidi(ToPath(name));
}

void TComposeWin::SaveAudioClick() {
    std::shared_ptr<midiTrack> track = song_.PlayTrack();
    if (!ConfirmPlayedSong()) {
        return;
    }
    const QString name = AskFileName({FileRequest::SaveAudio,
                                      "Sound Files (*.wav *.flac);;WAV (*.wav);;FLAC (*.flac)",
                                      "wav",
                                      {},
                                      true});
    if (name.isEmpty()) {
        return;
    }
    const std::filesystem::path path = ToPath(name);
    // The worker holds the song's track while it renders, whatever Play does.
    try {
        RunWithProgressDialog("Saving the audio...", [track, path](WorkProgress& progress) {
            RenderTrackToSoundFile(*track, path, progress);
        });
    } catch (const WorkCancelled&) {
        // Cancel is the user's choice: nothing was written, nothing to say.
    }
}

void TComposeWin::SaveScoreClick() {
    if (!ConfirmPlayedSong()) {
        return;
    }
    const QString name =
        AskFileName({FileRequest::SaveScore,
                     "MusicXML (*.musicxml *.mxl);;MusicXML, uncompressed (*.musicxml);;"
                     "MusicXML, compressed (*.mxl)",
                     "musicxml",
                     {},
                     true});
    if (name.isEmpty()) {
        return;
    }
    song_.SaveScore(ToPath(name), model_.SongFile);
}

void TComposeWin::SaveSongClick() {
    if (explorer_.readFields) {
        explorer_.readFields();
    }
    ReadControls();
    // A value Load Song would refuse is reported before a name is asked for.
    FormatSavableSongFile(SongFromState(Explorer(), model_, Parts()));
    const QString name = AskFileName({FileRequest::SaveSong, "Song File (*.svl)", "svl", {}, true});
    if (name.isEmpty()) {
        return;
    }
    SaveSong(ToPath(name), Explorer(), model_, Parts());
    model_.SongFile = ToPath(name).filename().string();
}

void TComposeWin::LoadSongClick() {
    const QString name =
        AskFileName({FileRequest::LoadSong, "Song Files (*.svl)", "svl", "*.svl", false});
    if (name.isEmpty()) {
        return;
    }
    LoadSongFile(name);
}

void TComposeWin::LoadSongFile(const QString& name) {
    ReadControls();
    LoadSongResult result;
    const auto load = [&] {
        result =
            LoadSong(ToPath(name), Explorer(), model_, Parts(), AskYesNo, [](const LongWork& work) {
                RunWithProgressDialog("Composing the loaded song...", work);
            });
    };
    if (explorer_.run) {
        explorer_.run(load);
    } else {
        load();
    }
    WriteControls();
    for (const std::string& message : result.Messages) {
        ShowMessage(message);
    }
    if (!result.Loaded) {
        return;
    }
    if (TrackSettingWin != nullptr && TrackSettingWin->isVisible()) {
        TrackSettingWin->FormShow();
    }
    DrawScore();
}

void TComposeWin::DeviceClick() {
    if (MidiDevice != nullptr) {
        MidiDevice->ShowModal();
    }
}

void TComposeWin::TrackSetupClick() {
    if (TrackSettingWin != nullptr) {
        TrackSettingWin->show();
        TrackSettingWin->raise();
        TrackSettingWin->activateWindow();
    }
}

} // namespace sorvelin
