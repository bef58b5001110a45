// The composition window in the whole program, with the capture output in
// place of a sound device: Compose and Play send what the song holds, Stop
// silences, Save MIDI writes what sorvelin-render writes, Save Song and Load
// Song bring every control of the three windows back.
#include "base/TextFile.h"
#include "midi/Mididata.h"
#include "sound/MidiOutCapture.h"
#include "support/WindowTestSupport.h"
#include "ui/common/ProgressDialog.h"
#include "ui/compose/Cmpwin.h"
#include "ui/compose/ScoreDraw.h"
#include "ui/explorer/MainPictures.h"
#include "ui/output/Mididevicewin.h"
#include "ui/tracks/Trkwin.h"
#ifdef SORVELIN_TEST_SYNTH
#include "sound/FluidSynthCore.h"
#endif

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QtTest>
#include <algorithm>
#include <tuple>

using namespace sorvelin;
using namespace sorvelin::testing;

namespace {

using Bytes = std::vector<std::uint8_t>;

CaptureMidiOut& Capture() {
    return static_cast<CaptureMidiOut&>(MidiDevice->Service());
}

std::vector<Bytes> Sent() {
    std::vector<Bytes> sent;
    for (const CapturedMessage& m : Capture().Messages()) {
        sent.push_back(m.bytes);
    }
    return sent;
}

// The first values of the window, the two tables and the song's text are
// what the user saw; a snapshot compares them before and after a reload.
struct Snapshot {
    QStringList texts;
    std::vector<int> numbers;
    PartSettingsTable parts;
    std::vector<std::int32_t> series;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take() {
    Snapshot s;
    TMainForm1* m = MainForm1;
    TComposeWin* c = ComposeWin;
    for (QLineEdit* edit : {m->posX, m->posY, m->RangeX, m->RangeY, m->StartX, m->StartY, m->EndX,
                            m->EndY, m->Iteration, c->LongLimit, c->NoteCount}) {
        s.texts << edit->text();
    }
    s.texts << c->ScaleComboBox1->currentText() << c->RhytmComboBox2->currentText()
            << m->ComboBox1->currentText();
    const LinePoints& line = m->Model().Line();
    s.numbers = {m->PolyphonicIndex(),
                 m->XShiftTrackBar1->value(),
                 m->YShiftTrackBar2->value(),
                 line.LineStartX,
                 line.LineStartY,
                 line.LineEndX,
                 line.LineEndY,
                 c->OoRButtons->checkedId(),
                 c->IterationLimitButtons->checkedId(),
                 c->ContinuousButtons->checkedId(),
                 c->NotesareButtons->checkedId(),
                 c->DynamicAssign->isChecked() ? 1 : 0,
                 c->GetNoteCount()};
    s.parts = TrackSettingWin->Parts;
    s.series = m->Series().Values();
    return s;
}

} // namespace

class ComposeWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString oldCurrent_;
    MessageRecorder* recorder_ = nullptr;
    std::vector<FileRequest> requests_;
    QString nextFile_;

    QString Path(const QString& name) const { return QDir(dir_.path()).filePath(name); }

    int modalShown_ = 0;

    void Start() {
        StartOptions options;
        options.device.showModal = [this](TMidiDevice& device) {
            ++modalShown_;
            QVERIFY(device.isModal() || !device.isVisible());
        };
        CreateWindows(std::move(options));
        MainForm1->AppDir = dir_.path().toStdString();
        MainForm1->show();
        ComposeWin->SetFileNameFunction([this](const FileRequest& request) {
            requests_.push_back(request);
            return nextFile_;
        });
    }

    // Draw a line across the picture and compose `count` notes per part.
    void Compose(int count) {
        ComposeWin->NoteCount->setText(QString::number(count));
        Drag(MainForm1->Image2, QPoint(20, 200), QPoint(225, 30), 4);
        QVERIFY(MainForm1->Compose->isEnabled());
        QTest::mouseClick(MainForm1->Compose, Qt::LeftButton);
        QVERIFY(ComposeWin->isVisible());
    }

    void Click(QPushButton* button, const QString& file = {}) {
        nextFile_ = file;
        QTest::mouseClick(button, Qt::LeftButton);
    }

    void PlayToTheEnd() {
        Click(ComposeWin->PlayButton);
        QVERIFY(MidiDevice->IsPlaying());
        QVERIFY(!ComposeWin->PlayButton->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(ComposeWin->PlayButton->isEnabled(), 20000);
        QVERIFY(!MidiDevice->IsPlaying());
    }

    // Composes 8 notes per part, saves the song under `name` and changes the
    // given lines (numbered from 1) of the file.
    void SaveEditedSong(const QString& name, std::vector<std::pair<int, std::string>> edits) {
        Compose(8);
        Click(ComposeWin->SaveSongButton, Path(name));
        std::vector<std::string> lines = ReadLines(Path(name).toStdString());
        QVERIFY(lines.size() >= 139);
        for (const auto& [line, text] : edits) {
            lines[static_cast<std::size_t>(line - 1)] = text;
        }
        WriteLinesAtomic(Path(name).toStdString(), lines);
    }

    QStringList Messages() const {
        QStringList texts;
        for (const Message& m : recorder_->messages) {
            texts << QString::fromStdString(m.text);
        }
        return texts;
    }

private slots:
    void initTestCase() {
        // The tables come from the current folder: two scales (one with a
        // repeated note) and two rhythms.
        QVERIFY(dir_.isValid());
        oldCurrent_ = QDir::currentPath();
        UseTwoTablesIn(dir_.path());
        // and a Scala tuning in scales/ beside them.
        QVERIFY(QDir(dir_.path()).mkdir("scales"));
        WriteLinesAtomic(Path("scales/Tuned.scl").toStdString(),
                         {"A third and a fifth", "3", "5/4", "3/2", "2/1"});
    }

    void cleanupTestCase() { QDir::setCurrent(oldCurrent_); }

    void init() {
        requests_.clear();
        recorder_ = new MessageRecorder;
        Start();
        Capture().ClearMessages();
    }

    void cleanup() {
        StopProgram();
        delete recorder_;
        recorder_ = nullptr;
    }

    void theControlsStartAtTheirDefaults() {
        TComposeWin* c = ComposeWin;
        // scale.cfg's entries, then the Scala tunings (the installed ones
        // may follow), each with its description as the item's tooltip.
        QVERIFY(c->ScaleComboBox1->count() >= 3);
        QCOMPARE(c->ScaleComboBox1->itemText(1), QString("Penta"));
        QCOMPARE(c->ScaleComboBox1->itemText(2), QString("Tuned"));
        QVERIFY(!c->ScaleComboBox1->itemData(1, Qt::ToolTipRole).isValid());
        QCOMPARE(c->ScaleComboBox1->itemData(2, Qt::ToolTipRole).toString(),
                 QString("A third and a fifth"));
        QCOMPARE(c->ScaleComboBox1->currentText(), QString("C Major"));
        QCOMPARE(c->RhytmComboBox2->currentText(), QString("16th note"));
        QVERIFY(!c->ScaleComboBox1->isEditable());
        QCOMPARE(c->LongLimit->text(), QString("480"));
        QCOMPARE(c->NoteCount->text(), QString("200"));
        QCOMPARE(c->OoRButtons->checkedButton()->text(), QString("Wrap around"));
        QCOMPARE(c->IterationLimitButtons->checkedButton()->text(), QString("Rest"));
        QCOMPARE(c->ContinuousButtons->checkedButton()->text(), QString("Slur"));
        QCOMPARE(c->NotesareButtons->checkedButton()->text(), QString("Divide"));
        QVERIFY(!c->DynamicAssign->isChecked());
        QVERIFY(c->ShowNote->isChecked() && c->ShowSeries->isChecked());
        QCOMPARE(c->Image1->size(), QSize(409, 201));
        QVERIFY(c->PlayButton->isEnabled());
        QCOMPARE(c->Tempo->text(), QString("120"));
        QCOMPARE(c->Velocity->currentText(), QString("Fixed"));
        QVERIFY(!c->Loop->isChecked());
    }

    // A tempo is checked where it is typed; the playing options go into the
    // song file and come back with it.
    void tempoVelocityAndLoopAreCheckedAndTravelWithTheSong() {
        Compose(8);
        TComposeWin* c = ComposeWin;
        const auto type = [c](const char* text) {
            c->Tempo->selectAll();
            QTest::keyClicks(c->Tempo, text);
            QTest::keyClick(c->Tempo, Qt::Key_Return);
        };
        for (const char* bad : {"abc", "19", "301"}) {
            recorder_->messages.clear();
            type(bad);
            QCOMPARE(recorder_->messages.size(), std::size_t{1});
            QCOMPARE(c->Tempo->text(), QString("120"));
        }
        recorder_->messages.clear();
        type("90");
        QVERIFY(recorder_->messages.empty());
        c->Velocity->setCurrentIndex(1);
        c->Loop->setChecked(true);
        Click(c->SaveSongButton, Path("playing.svl"));
        const std::vector<std::string> lines = ReadLines(Path("playing.svl").toStdString());
        QCOMPARE(std::vector<std::string>(lines.begin() + 141, lines.end()),
                 (std::vector<std::string>{"90", "1", "1"}));

        StopProgram();
        Start();
        Click(ComposeWin->LoadSongButton, Path("playing.svl"));
        QCOMPARE(Messages(), QStringList());
        QCOMPARE(ComposeWin->Tempo->text(), QString("90"));
        QCOMPARE(ComposeWin->Velocity->currentText(), QString("From series"));
        QVERIFY(ComposeWin->Loop->isChecked());
    }

    // While a looping song plays, a line on the score walks over the first
    // part's series indexes, pass after pass, until Stop takes it away.
    void aLoopingSongShowsItsPlayPositionUntilStop() {
        Compose(8);
        TComposeWin* c = ComposeWin;
        c->Tempo->setText("300");
        c->TempoChange();
        c->Loop->setChecked(true);
        const auto lineAt = [c] {
            const QImage shown =
                c->Image1->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
            for (int x = 0; x < shown.width(); ++x) {
                bool line = true;
                for (int y = 0; y < shown.height() && line; ++y) {
                    line = (shown.pixel(x, y) & 0xFFFFFF) == PlayPositionColor;
                }
                if (line) {
                    return x;
                }
            }
            return -1;
        };
        std::vector<long long> columns;
        for (int j = 0; j < 8; ++j) {
            columns.push_back(ScoreX(j, 8, ScoreWidth));
        }
        Click(c->PlayButton);
        QVERIFY(MidiDevice->IsPlaying());
        // A pass takes 0.4 s at 300 beats per minute after a 0.8 s lead-in.
        std::vector<int> seen; // each position once while it shows
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 2500) {
            QTest::qWait(10);
            if (const int x = lineAt(); x >= 0) {
                QVERIFY2(std::count(columns.begin(), columns.end(), x) == 1,
                         qPrintable(QString::number(x)));
                if (seen.empty() || seen.back() != x) {
                    seen.push_back(x);
                }
            }
        }
        QVERIFY(MidiDevice->IsPlaying());
        // It moved on within a pass and went back to the first note for the next.
        QVERIFY(seen.size() >= 4);
        QCOMPARE(seen.front(), 0);
        QVERIFY(std::adjacent_find(seen.begin(), seen.end(), std::less<int>()) != seen.end());
        QVERIFY(std::count(seen.begin(), seen.end(), 0) >= 2);
        Click(c->StopButton);
        QTRY_VERIFY(c->PlayButton->isEnabled());
        QTRY_COMPARE(lineAt(), -1);
        QCOMPARE(c->Image1->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
                 c->Score().convertToFormat(QImage::Format_RGB32));
    }

    // Save Audio writes the song last played; cancelled, it leaves the old
    // file as it was and nothing beside it.
    void saveAudioWritesTheLastSongOrNothingWhenCancelled() {
#ifndef SORVELIN_TEST_SYNTH
        QSKIP("this build has no built-in synthesizer");
#else
        if (FindSoundFont(SoundFontFolders()).empty()) {
            QSKIP("no SoundFont installed");
        }
        Compose(8);
        Click(ComposeWin->SaveAudioButton, Path("song.flac"));
        QCOMPARE(Messages(), QStringList{NothingRenderedMessage});
        recorder_->messages.clear();
        PlayToTheEnd();
        const std::string path = Path("song.flac").toStdString();
        WriteLinesAtomic(path, {"old"});
        const std::string old = ReadFileBytes(path);
        const QStringList files = QDir(dir_.path()).entryList(QDir::Files);
        QTimer canceller;
        connect(&canceller, &QTimer::timeout, [] {
            if (WorkRunning()) {
                CancelRunningWork();
            }
        });
        canceller.start(5);
        Click(ComposeWin->SaveAudioButton, Path("song.flac"));
        canceller.stop();
        QCOMPARE(ReadFileBytes(path), old);
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files), files);
        QCOMPARE(Messages(), QStringList());

        Click(ComposeWin->SaveAudioButton, Path("song.flac"));
        QCOMPARE(Messages(), QStringList());
        QCOMPARE(ReadFileBytes(path).substr(0, 4), std::string("fLaC"));
        QCOMPARE(requests_.back().kind, FileRequest::SaveAudio);
#endif
    }

    void composeThenPlaySendsSystemOnSetUpAndNotesInOrder() {
        Compose(8);
        PlayToTheEnd();
        const std::vector<Bytes> sent = Sent();
        QVERIFY(sent.size() > 15);
        QCOMPARE(sent[0], (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
        // Parts 1 and 2, their set-up events two ticks apart, in time order.
        const std::vector<Bytes> setUp{
            {0xB0, 0, 0},   {0xB0, 32, 0},  {0xC0, 0},      {0xB1, 0, 0},   {0xB1, 32, 0},
            {0xC1, 5},      {0xB0, 10, 64}, {0xB1, 10, 97}, {0xB0, 100, 0}, {0xB1, 100, 0},
            {0xB0, 101, 0}, {0xB1, 101, 0}, {0xB0, 6, 2},   {0xB1, 6, 2}};
        QCOMPARE(std::vector<Bytes>(sent.begin() + 1, sent.begin() + 15), setUp);
        // Then the notes: every note of the song once, each released later.
        std::vector<std::tuple<int, int>> songNotes;
        midiSong& song = *ComposeWin->Rendered().Song();
        for (int t = 0; t < song.tracks.Count(); ++t) {
            midiTrack& track = *song.tracks.TrackAt(t);
            for (int e = 0; e < track.Count(); ++e) {
                if (auto* note = dynamic_cast<NoteOnEvent*>(track.EventAt(e));
                    note != nullptr && note->velocity > 0) {
                    songNotes.emplace_back(note->status & 0x0F, note->key);
                }
            }
        }
        std::vector<std::tuple<int, int>> played;
        for (std::size_t i = 15; i < sent.size(); ++i) {
            const Bytes& m = sent[i];
            if ((m[0] & 0xF0) == 0x90 && m[2] > 0) {
                played.emplace_back(m[0] & 0x0F, m[1]);
                const bool released = std::any_of(
                    sent.begin() + static_cast<long>(i) + 1, sent.end(), [&](const Bytes& o) {
                        return o[1] == m[1] &&
                               (o[0] == (0x80 | (m[0] & 0x0F)) || (o[0] == m[0] && o[2] == 0));
                    });
                QVERIFY(released);
            }
        }
        QVERIFY(played.size() >= 2);
        std::sort(songNotes.begin(), songNotes.end());
        std::sort(played.begin(), played.end());
        QVERIFY(played == songNotes);
        QVERIFY(recorder_->messages.empty());
    }

    void stopSilencesEveryChannelAndEnablesPlay() {
        Compose(200);
        Click(ComposeWin->PlayButton);
        QVERIFY(MidiDevice->IsPlaying());
        QTest::qWait(200);
        Click(ComposeWin->StopButton);
        QVERIFY(!MidiDevice->IsPlaying());
        QTRY_VERIFY(ComposeWin->PlayButton->isEnabled());
        const std::vector<Bytes> sent = Sent();
        QVERIFY(sent.size() >= 32);
        std::vector<Bytes> silence;
        for (std::uint32_t packed : SilenceMessages()) {
            silence.push_back(UnpackShortMsg(packed));
        }
        QCOMPARE(std::vector<Bytes>(sent.end() - 32, sent.end()), silence);
        QTest::qWait(100);
        QCOMPARE(Sent().size(), sent.size());
    }

    void saveMidiWritesWhatTheRendererWrites() {
        const QString svl = Path("same.svl");
        const QString mid = Path("same.mid");
        const QString rendered = Path("same-render.mid");
        QFile::remove(mid);
        Compose(24);
        ComposeWin->RhytmComboBox2->setCurrentIndex(1);
        PlayToTheEnd();
        Click(ComposeWin->SaveButton2, mid);
        QCOMPARE(requests_.back().filter, QString("MIDI Files (*.mid)"));
        QCOMPARE(requests_.back().defaultSuffix, QString("mid"));
        QVERIFY(requests_.back().save);
        Click(ComposeWin->SaveSongButton, svl);
        QCOMPARE(requests_.back().defaultSuffix, QString("svl"));
        // Saved after the song file, so titled after it, as the renderer does.
        Click(ComposeWin->SaveScoreButton, Path("same.musicxml"));
        QCOMPARE(requests_.back().defaultSuffix, QString("musicxml"));
        QVERIFY(requests_.back().filter.contains("*.mxl"));
        QVERIFY(recorder_->messages.empty());

        QProcess render;
        render.setWorkingDirectory(dir_.path());
        render.start(SORVELIN_RENDER_PROGRAM,
                     {svl, "-o", rendered, "--musicxml", Path("same-render.musicxml")});
        QVERIFY(render.waitForFinished(60000));
        QCOMPARE(render.exitCode(), 0);
        const std::string saved = ReadFileBytes(mid.toStdString());
        QVERIFY(saved.rfind("MThd", 0) == 0);
        QCOMPARE(saved, ReadFileBytes(rendered.toStdString()));
        const std::string score = ReadFileBytes(Path("same.musicxml").toStdString());
        QVERIFY(score.find("<work-title>same</work-title>") != std::string::npos);
        QCOMPARE(score, ReadFileBytes(Path("same-render.musicxml").toStdString()));
    }

    void saveMidiBeforeAnyPlaySaysSoAndAsksNothing() {
        Click(ComposeWin->SaveButton2, Path("never.mid"));
        QVERIFY(requests_.empty());
        QCOMPARE(Messages(), QStringList{"Nothing has been rendered yet: press Play first."});
        QVERIFY(!QFile::exists(Path("never.mid")));
    }

    void cancellingADialogDoesNothing() {
        Compose(8);
        PlayToTheEnd();
        const Snapshot before = Take();
        for (QPushButton* button : {ComposeWin->SaveButton2, ComposeWin->SaveSongButton,
                                    ComposeWin->LoadSongButton, ComposeWin->SaveScoreButton}) {
            Click(button, QString());
        }
        QCOMPARE(requests_.size(), std::size_t{4});
        QVERIFY(!requests_[2].save);
        QCOMPARE(requests_[2].filter, QString("Song Files (*.svl)"));
        QVERIFY(Take() == before);
        QVERIFY(recorder_->messages.empty());
    }

    void saveSongThenLoadSongRestoresEveryControl() {
        TMainForm1* m = MainForm1;
        m->SetPolyphonicIndex(1);
        m->XShiftTrackBar1->setValue(10);
        m->ComboBox1->setCurrentIndex(2);
        emit m->ComboBox1->activated(2); // the list's change as the user makes it
        Compose(16);
        TComposeWin* c = ComposeWin;
        c->ScaleComboBox1->setCurrentIndex(1);
        c->RhytmComboBox2->setCurrentIndex(1);
        QVERIFY(c->DynamicAssign->isEnabled()); // Penta lists 60 twice
        QTest::mouseClick(c->DynamicAssign, Qt::LeftButton);
        c->OoRButtons->button(1)->click();
        c->IterationLimitButtons->button(1)->click();
        c->ContinuousButtons->button(2)->click();
        c->NotesareButtons->button(0)->click();
        c->LongLimit->setText("240");
        PartSettings& part3 = TrackSettingWin->Parts[2];
        part3 = {true, 6, 12, 5, 99, 98, -1};
        const Snapshot saved = Take();
        Click(c->SaveSongButton, Path("every.svl"));
        QVERIFY(recorder_->messages.empty());

        StopProgram();
        Start();
        QVERIFY(!(Take() == saved));
        TrackSettingWin->show();
        TrackSettingWin->StringGrid1->setCurrentCell(4, 0);
        Click(ComposeWin->LoadSongButton, Path("every.svl"));
        QCOMPARE(Messages(), QStringList());
        const Snapshot loaded = Take();
        QCOMPARE(loaded.texts, saved.texts);
        QCOMPARE(loaded.numbers, saved.numbers);
        QVERIFY(loaded.parts == saved.parts);
        QVERIFY(loaded.series == saved.series);
        // The open track settings window shows the loaded parts, part 1 chosen.
        QCOMPARE(TrackSettingWin->StringGrid1->item(2, 1)->text(), QString("Use"));
        QCOMPARE(TrackSettingWin->StringGrid1->item(2, 2)->text(), QString("7"));
        QCOMPARE(TrackSettingWin->SelectedPart, 0);
        // The line is back on the picture.
        QVERIFY(MainForm1->Compose->isEnabled());
    }

    // A value Load Song would refuse is reported before a file name is asked for.
    void saveSongRefusesWhatLoadSongWouldRefuse() {
        Compose(8);
        ComposeWin->NoteCount->setText("1");
        requests_.clear();
        Click(ComposeWin->SaveSongButton, Path("bad.svl"));
        QCOMPARE(Messages(), QStringList{"Notes per part: 1 is outside 2 to 1000000.\nThe song was "
                                         "not saved."});
        QVERIFY(requests_.empty());
        QVERIFY(!QFile::exists(Path("bad.svl")));
    }

    void aSongNamingAMissingScaleSaysSoAndKeepsLoading() {
        SaveEditedSong("missing.svl", {{26, "Nowhere"}, {27, "Swing"}});
        Click(ComposeWin->LoadSongButton, Path("missing.svl"));
        QCOMPARE(Messages(), QStringList{"Sorry, Couldn't find Scale:Nowhere"});
        QCOMPARE(ComposeWin->ScaleComboBox1->currentIndex(), -1);
        QCOMPARE(ComposeWin->RhytmComboBox2->currentText(), QString("Swing"));
    }

    void aSongThatMayTakeMinutesToComposeIsLoadedOnlyWhenTheUserSaysSo() {
        // The largest limit, with a Zoom In view where every point escapes at
        // once, so that composing it is quick after all.
        SaveEditedSong("long.svl", {{2, "100"}, {3, "100"}, {10, "2147483647"}});
        const QString limitBefore = MainForm1->Iteration->text();
        const std::vector<std::string>& questions = recorder_->questions;
        recorder_->answer = false;
        Click(ComposeWin->LoadSongButton, Path("long.svl"));
        QCOMPARE(questions.size(), std::size_t{1});
        QVERIFY(QString::fromStdString(questions[0])
                    .contains("iteration limit 2147483647 with 8 notes per part"));
        QCOMPARE(Messages().size(), 1);
        QVERIFY(Messages()[0].startsWith("Line 10 (iteration limit)"));
        QCOMPARE(MainForm1->Iteration->text(), limitBefore);

        recorder_->answer = true;
        recorder_->messages.clear();
        Click(ComposeWin->LoadSongButton, Path("long.svl"));
        QCOMPARE(questions.size(), std::size_t{2});
        QCOMPARE(Messages(), QStringList());
        QCOMPARE(MainForm1->Iteration->text(), QString("2147483647"));
        QCOMPARE(MainForm1->Model().Engine().GetLimit(), 2147483647);
        // main.prf keeps the limit for the next start-up, whose picture lies
        // in the set: back to the old one.
        MainForm1->Iteration->setText(limitBefore);
    }

    void theScoreIsRedrawnByItsTriggersOnly() {
        Compose(50);
        const QImage composed = ComposeWin->Score();
        QVERIFY(composed.pixel(0, 0) == 0xFF000000);
        QVERIFY(composed != QImage(composed.size(), composed.format()));
        // A rhythm change does not redraw; the two boxes do, down to plain black.
        ComposeWin->RhytmComboBox2->setCurrentIndex(1);
        QCOMPARE(ComposeWin->Score(), composed);
        QTest::mouseClick(ComposeWin->ShowNote, Qt::LeftButton);
        QTest::mouseClick(ComposeWin->ShowSeries, Qt::LeftButton);
        QImage black(composed.size(), QImage::Format_RGB32);
        black.fill(Qt::black);
        QCOMPARE(ComposeWin->Score().convertToFormat(QImage::Format_RGB32), black);
        QCOMPARE(ComposeWin->Image1->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
                 black);
        // A scale chosen while the window is open redraws at once.
        QTest::mouseClick(ComposeWin->ShowNote, Qt::LeftButton);
        const QImage notes = ComposeWin->Score();
        ComposeWin->ScaleComboBox1->setCurrentIndex(1);
        QVERIFY(ComposeWin->Score() != notes);
    }

    void textsThatAreNoNumbersAreReportedAndNothingIsLost() {
        Compose(24);
        PlayToTheEnd();
        const std::string first = ComposeWin->Rendered().MidiFileBytes();
        // The series slurs at once, so Play meets the length limit's text.
        ComposeWin->LongLimit->setText("abc");
        Click(ComposeWin->PlayButton);
        QCOMPARE(recorder_->messages.size(), std::size_t{1});
        QCOMPARE(recorder_->messages[0].kind, MessageKind::Error);
        QVERIFY(ComposeWin->PlayButton->isEnabled());
        QVERIFY(!MidiDevice->IsPlaying());
        // The last complete song is still the one Save MIDI writes.
        QCOMPARE(ComposeWin->Rendered().MidiFileBytes(), first);
        // An emptied note count is reported and the count in force stays.
        recorder_->messages.clear();
        ComposeWin->NoteCount->setText("");
        QCOMPARE(recorder_->messages.size(), std::size_t{1});
        QCOMPARE(ComposeWin->GetNoteCount(), 24);
        // Two Plays without changes give the same song.
        ComposeWin->LongLimit->setText("480");
        PlayToTheEnd();
        QCOMPARE(ComposeWin->Rendered().MidiFileBytes(), first);
    }

    void partSetupIsModelessAndDeviceSetupModal() {
        Click(ComposeWin->TrackSetupButton);
        QVERIFY(TrackSettingWin->isVisible());
        QVERIFY(!TrackSettingWin->isModal());
        TrackSettingWin->hide();
        QCOMPARE(modalShown_, 0);
        Click(ComposeWin->DeviceButton);
        QCOMPARE(modalShown_, 1);
    }
};

QTEST_MAIN(ComposeWindowTest)
#include "ComposeWindowTest.moc"
