// The composition window's controls, their layout and their connections.
#include "ui/compose/Cmpwin.h"

#include "compose/ScalaFile.h"
#include "compose/Tables.h"
#include "output/ClockFollow.h"
#include "output/TransportFollow.h"
#include "ui/common/AccessibleComboBox.h"
#include "ui/common/AccessibleRoles.h"
#include "ui/common/ErrorGuard.h"
#include "ui/common/Mnemonic.h"
#include "ui/common/WindowPlacement.h"
#include "ui/compose/ScoreDraw.h"
#include "ui/output/Mididevicewin.h"

#include <QAbstractItemView>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

namespace sorvelin {

TComposeWin* ComposeWin = nullptr;

namespace {

constexpr int PlayingRowY = 436;            // the row of the tempo, velocity, loop and Save Audio
constexpr int ScoreRowY = PlayingRowY + 34; // Save Score, under Save Audio
// 25 times a second: the play position keeps up with notes of any length.
constexpr int PlayPositionIntervalMs = 40;

QGroupBox* RadioGroup(QWidget* parent, const char* name, const char* title,
                      std::initializer_list<const char*> items, QButtonGroup*& buttons, QRect at) {
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(name);
    group->setAccessibleName(title);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(6, 2, 4, 2);
    layout->setSpacing(0);
    buttons = new QButtonGroup(group);
    int id = 0;
    for (const char* item : items) {
        auto* button = new QRadioButton(item, group);
        buttons->addButton(button, id++);
        layout->addWidget(button);
    }
    buttons->button(0)->setChecked(true);
    group->setGeometry(at);
    return group;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption, QRect at) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(at);
    return button;
}

QLabel* Label(QWidget* parent, const char* caption, QWidget* buddy, QRect at) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    label->setGeometry(at);
    return label;
}

} // namespace

TComposeWin::TComposeWin(QWidget* parent)
    : QWidget(parent, Qt::Window), gmSystemOn_(0, 0xF0),
      score_(ScoreWidth, ScoreHeight, QImage::Format_RGB32) {
    // Before the title is set, which is already announced.
    PublishAccessibleRole(staticMetaObject, QAccessible::Window);
    gmSystemOn_.bytes = {0x7E, 0x7F, 0x09, 0x01, 0xF7};
    setObjectName("ComposeWin");
    setWindowTitle("Compose");
    // The playing options take a row of their own under the buttons, so
    // every older control keeps its place and the window its width.
    setFixedSize(452, ScoreRowY + 34);
    BuildControls();
    BuildOptions();
    BuildButtons();
    BuildPlayingOptions();
    SetTabOrder();

    Guarded([this] {
        for (const std::string& message :
             model_.LoadTableFiles(TableSearchDirs(), ScalaSearchDirs())) {
            ShowMessage(message);
        }
    });
    WriteControls();
    ConnectHandlers();
    score_.fill(Qt::black);
    Image1->setPixmap(QPixmap::fromImage(score_));
    RegisterPlayEnd();
    positionTimer_ = new QTimer(this);
    positionTimer_->setInterval(PlayPositionIntervalMs);
    connect(positionTimer_, &QTimer::timeout, this, [this] { ShowPlayPosition(); });
    transportTimer_ = new QTimer(this);
    transportTimer_->setInterval(TransportIdleMs);
    connect(transportTimer_, &QTimer::timeout, this, [this] { FollowTransportTick(); });
    transportTimer_->start();
}

TComposeWin::~TComposeWin() {
    // The controls outlive this part of the window: a field losing the focus
    // as the window goes must not call a handler of a window already half gone.
    for (QObject* child : findChildren<QObject*>()) {
        child->disconnect(this);
    }
    transportTimer_->stop();
    follower_.reset();
    clockFollower_.reset();
    // The device outlives this window: it must not report a song's end here.
    // A song still playing is the engine's to hold until the device stops it.
    if (MidiDevice != nullptr) {
        MidiDevice->Engine().ClearPlayEndHandler();
    }
}

void TComposeWin::RegisterPlayEnd() {
    if (MidiDevice == nullptr) {
        return;
    }
    // Called on the playback timer's thread at a song's end: the window
    // enables Play on its own thread.
    MidiDevice->Engine().SetPlayEndHandler(
        [](void* context) {
            QMetaObject::invokeMethod(static_cast<TComposeWin*>(context), "RestorePlayButton",
                                      Qt::QueuedConnection);
        },
        this);
}

void TComposeWin::BuildControls() {
    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Panel1->setLineWidth(2);
    Panel1->setGeometry((452 - ScoreWidth - 4) / 2, 6, ScoreWidth + 4, ScoreHeight + 4);
    Image1 = new QLabel(Panel1);
    Image1->setObjectName("Image1");
    Image1->setGeometry(2, 2, ScoreWidth, ScoreHeight);
    Image1->setAccessibleName("Score");
    Image1->setAccessibleDescription(
        "The composition: dotted note lines and solid series lines, one colour per part");

    ScaleComboBox1 = new TNamedComboBox(this);
    ScaleComboBox1->setObjectName("ScaleComboBox1");
    ScaleComboBox1->setAccessibleName("Scale");
    ScaleComboBox1->setAccessibleDescription("The scale the series values are mapped onto");
    ScaleComboBox1->setGeometry(52, 218, 172, 24);
    ScaleComboBox1->view()->setAccessibleName("Scales");
    Label(this, "Scale", ScaleComboBox1, QRect(8, 218, 42, 24));
    RhytmComboBox2 = new TNamedComboBox(this);
    RhytmComboBox2->setObjectName("RhytmComboBox2");
    RhytmComboBox2->setAccessibleName("Rhythm");
    RhytmComboBox2->setAccessibleDescription("The durations the notes follow, step by step");
    RhytmComboBox2->setGeometry(286, 218, 160, 24);
    RhytmComboBox2->view()->setAccessibleName("Rhythms");
    Label(this, "Rhythm", RhytmComboBox2, QRect(236, 218, 48, 24));
}

void TComposeWin::BuildOptions() {
    OoR = RadioGroup(this, "OoR", "Note Assign", {"Wrap around", "Compress"}, OoRButtons,
                     QRect(6, 248, 116, 60));
    IterationLimit =
        RadioGroup(this, "IterationLimit", "Over Iter. Limit", {"Rest", "Note", "Skip"},
                   IterationLimitButtons, QRect(126, 248, 100, 78));
    ContinuousNumberAssgn =
        RadioGroup(this, "ContinuousNumberAssgn", "Continuous No. ", {"Slur", "Skip", "New Note"},
                   ContinuousButtons, QRect(230, 248, 100, 78));
    Notesare =
        RadioGroup(this, "Notesare", "Over Length Limit", {"Shorten", "Divide", "Don't care"},
                   NotesareButtons, QRect(334, 248, 112, 78));
    DynamicAssign = new QCheckBox("Dynamic Assign", this);
    DynamicAssign->setObjectName("DynamicAssign");
    DynamicAssign->setGeometry(8, 308, 116, 20);

    LongLimit = new QLineEdit("480", this);
    LongLimit->setObjectName("LongLimit");
    LongLimit->setAccessibleName(LengthLimitCaption);
    LongLimit->setAccessibleDescription("Longest slurred note, in ticks (120 a quarter note)");
    LongLimit->setGeometry(84, 334, 50, 22);
    Label(this, LengthLimitCaption, LongLimit, QRect(8, 334, 74, 22));
    NoteCount = new QLineEdit("200", this);
    NoteCount->setObjectName("NoteCount");
    NoteCount->setAccessibleName(NoteCountCaption);
    NoteCount->setAccessibleDescription("Number of notes sampled along each line at Compose");
    NoteCount->setGeometry(220, 334, 56, 22);
    Label(this, NoteCountCaption, NoteCount, QRect(148, 334, 70, 22));
    ShowNote = new QCheckBox("Show Notes", this);
    ShowNote->setObjectName("ShowNote");
    ShowNote->setChecked(true);
    ShowNote->setGeometry(300, 330, 120, 16);
    ShowSeries = new QCheckBox("Show Series", this);
    ShowSeries->setObjectName("ShowSeries");
    ShowSeries->setChecked(true);
    ShowSeries->setGeometry(300, 346, 120, 16);
}

void TComposeWin::BuildButtons() {
    constexpr int W = 105;
    constexpr int Hgt = 28;
    constexpr int X[] = {6, 117, 228, 339};
    Button1 = Button(this, "Button1", "ReDraw", QRect(X[0], 368, W, Hgt));
    ActionPlay = new QAction("Play", this);
    ActionPlay->setObjectName("ActionPlay");
    PlayButton = Button(this, "PlayButton", "Play", QRect(X[1], 368, W, Hgt));
    StopButton = Button(this, "StopButton", "Stop", QRect(X[2], 368, W, Hgt));
    SaveButton2 = Button(this, "SaveButton2", "Save MIDI", QRect(X[3], 368, W, Hgt));
    SaveSongButton = Button(this, "SaveSong", "Save Song", QRect(X[0], 402, W, Hgt));
    LoadSongButton = Button(this, "LoadSong", "Load Song", QRect(X[1], 402, W, Hgt));
    DeviceButton = Button(this, "Device", "Device Setup", QRect(X[2], 402, W, Hgt));
    TrackSetupButton = Button(this, "TrackSetup", "Part Setup", QRect(X[3], 402, W, Hgt));
}

void TComposeWin::BuildPlayingOptions() {
    constexpr int Y = PlayingRowY;
    Tempo = new QLineEdit(QString::number(DefaultTempoBpm), this);
    Tempo->setObjectName("Tempo");
    Tempo->setAccessibleName(TempoCaption);
    Tempo->setAccessibleDescription("Beats per minute, 20 to 300");
    Tempo->setGeometry(52, Y + 2, 50, 24);
    Label(this, TempoCaption, Tempo, QRect(8, Y + 2, 42, 24));
    Velocity = new TNamedComboBox(this);
    Velocity->setObjectName("Velocity");
    Velocity->addItems({"Fixed", "From series"});
    Velocity->setAccessibleName("Velocity");
    Velocity->setAccessibleDescription(
        "Fixed: every note at 100; From series: louder the higher the value");
    Velocity->setGeometry(172, Y + 2, 100, 24);
    Velocity->view()->setAccessibleName("Velocities");
    Label(this, "Velocity", Velocity, QRect(116, Y + 2, 54, 24));
    Loop = new QCheckBox("Loop", this);
    Loop->setObjectName("Loop");
    Loop->setAccessibleDescription("Playback starts again at the first note until Stop");
    Loop->setGeometry(282, Y + 6, 54, 16);
    SaveAudioButton = Button(this, "SaveAudio", "Save Audio", QRect(339, Y, 105, 28));
    SaveScoreButton = Button(this, "SaveScore", "Save Score", QRect(339, ScoreRowY, 105, 28));
    SaveScoreButton->setAccessibleDescription(
        "Writes the last played song as sheet music (MusicXML, or .mxl compressed)");
}

void TComposeWin::SetTabOrder() {
    QList<QWidget*> order{ScaleComboBox1, RhytmComboBox2};
    for (QButtonGroup* group :
         {OoRButtons, IterationLimitButtons, ContinuousButtons, NotesareButtons}) {
        for (QAbstractButton* button : group->buttons()) {
            order.append(button);
        }
        if (group == OoRButtons) {
            order.append(DynamicAssign);
        }
    }
    order.append({LongLimit, NoteCount, ShowNote, ShowSeries, Button1, PlayButton, StopButton,
                  SaveButton2, SaveSongButton, LoadSongButton, DeviceButton, TrackSetupButton,
                  Tempo, Velocity, Loop, SaveAudioButton, SaveScoreButton});
    for (qsizetype i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

void TComposeWin::ConnectHandlers() {
    auto guarded = [this](void (TComposeWin::*handler)()) {
        return [this, handler] { Guarded([&] { (this->*handler)(); }); };
    };
    auto user = [this](void (TComposeWin::*handler)()) {
        return [this, handler] {
            if (!updating_) {
                Guarded([&] { (this->*handler)(); });
            }
        };
    };
    connect(ScaleComboBox1, &QComboBox::currentIndexChanged, this,
            user(&TComposeWin::ScaleComboBox1Change));
    connect(RhytmComboBox2, &QComboBox::currentIndexChanged, this,
            user(&TComposeWin::RhytmComboBox2Change));
    connect(NoteCount, &QLineEdit::textChanged, this, user(&TComposeWin::NoteCountChange));
    // Checked when the user is done typing: "9" on the way to "90" is no fault.
    connect(Tempo, &QLineEdit::editingFinished, this, user(&TComposeWin::TempoChange));
    connect(OoRButtons, &QButtonGroup::idClicked, this, guarded(&TComposeWin::Button1Click));
    connect(DynamicAssign, &QCheckBox::clicked, this, guarded(&TComposeWin::Button1Click));
    connect(ShowNote, &QCheckBox::clicked, this, guarded(&TComposeWin::DrawScore));
    connect(ShowSeries, &QCheckBox::clicked, this, guarded(&TComposeWin::DrawScore));
    connect(Button1, &QPushButton::clicked, this, guarded(&TComposeWin::Button1Click));
    connect(PlayButton, &QPushButton::clicked, ActionPlay, &QAction::trigger);
    connect(ActionPlay, &QAction::triggered, this, [this] { PlayClick(); });
    connect(ActionPlay, &QAction::changed, this,
            [this] { PlayButton->setEnabled(ActionPlay->isEnabled()); });
    connect(StopButton, &QPushButton::clicked, this, guarded(&TComposeWin::StopClick));
    connect(SaveButton2, &QPushButton::clicked, this, guarded(&TComposeWin::SaveButton2Click));
    connect(SaveAudioButton, &QPushButton::clicked, this, guarded(&TComposeWin::SaveAudioClick));
    connect(SaveScoreButton, &QPushButton::clicked, this, guarded(&TComposeWin::SaveScoreClick));
    connect(SaveSongButton, &QPushButton::clicked, this, guarded(&TComposeWin::SaveSongClick));
    connect(LoadSongButton, &QPushButton::clicked, this, guarded(&TComposeWin::LoadSongClick));
    connect(DeviceButton, &QPushButton::clicked, this, guarded(&TComposeWin::DeviceClick));
    connect(TrackSetupButton, &QPushButton::clicked, this, guarded(&TComposeWin::TrackSetupClick));

    // The keys a desktop music program answers to; the captions stay as they are.
    // Space is a shortcut of the window, so that it plays and stops before a
    // focused button, check box or list takes it as its own press; a text
    // field claims it first (it types a blank), and an open list is a window
    // of its own, where Space keeps choosing.
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    space->setObjectName("PlayStopShortcut");
    space->setAutoRepeat(false);
    connect(space, &QShortcut::activated, this, &TComposeWin::PlayOrStop);
    SaveSongButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    LoadSongButton->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    SaveButton2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    Button1->setShortcut(QKeySequence(Qt::Key_F5));
    SetMnemonics({{PlayButton, "&Play"},
                  {StopButton, "&Stop"},
                  {DeviceButton, "&Device Setup"},
                  {TrackSetupButton, "Part Set&up"},
                  {DynamicAssign, "Dynamic &Assign"},
                  {ShowNote, "Show &Notes"},
                  {ShowSeries, "Show S&eries"}});
}

void TComposeWin::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    PlaceBesideShown(this);
}

void TComposeWin::PlayOrStop() {
    if (PlayButton->isEnabled()) {
        PlayButton->click();
    } else {
        StopButton->click();
    }
}

} // namespace sorvelin
