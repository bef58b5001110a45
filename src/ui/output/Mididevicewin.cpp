#include "ui/output/Mididevicewin.h"

#include "sound/MidiOutCapture.h"
#include "ui/common/ErrorGuard.h"
#include "ui/common/MessageBox.h"
#include "ui/common/WindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QThread>
#include <QVBoxLayout>

namespace sorvelin {

TMidiDevice* MidiDevice = nullptr;

void ShowOnWindowThread(const std::string& text) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        ShowMessage(text, MessageKind::Error);
        return;
    }
    QMetaObject::invokeMethod(
        app, [text] { ShowMessage(text, MessageKind::Error); }, Qt::QueuedConnection);
}

TMidiDevice::TMidiDevice(MidiDeviceOptions options, QWidget* parent)
    : QDialog(parent), options_(std::move(options)) {
    service_ = options_.service ? std::move(options_.service) : std::make_unique<CaptureMidiOut>();
    timer_ = std::make_unique<ThreadTimer>();
    output_ = std::make_unique<OutputHandle>(*service_);
    model_ = std::make_unique<DeviceModel>(*output_);
    engine_ = std::make_unique<PlaybackEngine>(*output_, *timer_);
    model_->SetMessageCallback([](const std::string& text) { ShowOnWindowThread(text); });
    engine_->SetMessageCallback([](const std::string& text) { ShowOnWindowThread(text); });
    model_->SetDetailedMessageCallback([](const std::string& text, const std::string& details) {
        ShowMessageWithDetails(text, details);
    });

    setObjectName("MidiDevice");
    setWindowTitle("MidiDevice");
    setGeometry(200, 109, 451, 295);

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setLineWidth(3);
    Panel1->setGeometry(0, 0, 451, 204);
    DevSummListBox1 = new QListWidget(Panel1);
    DevSummListBox1->setObjectName("DevSummListBox1");
    DevSummListBox1->setGeometry(3, 3, 445, 198);
    DevSummListBox1->setAccessibleName("MIDI Outputs");
    DevSummListBox1->setAccessibleDescription(
        "The MIDI outputs of this computer; double click one to open it");

    NoOutputLabel = new QLabel(
        "No MIDI output is open. Choose one and press \"Open Device\", or \"Close\" to go on "
        "without sound.",
        this);
    NoOutputLabel->setObjectName("NoOutputLabel");
    NoOutputLabel->setWordWrap(true);
    NoOutputLabel->setGeometry(8, 206, 435, 34);

    MIDIOpen = new QAction("MIDIOpen", this);
    MIDIOpen->setObjectName("MIDIOpen");
    OpenButton1 = new QPushButton("Open Device", this);
    OpenButton1->setObjectName("OpenButton1");
    OpenButton1->setGeometry(96, 244, 110, 27);
    ErrorTestButton1 = new QPushButton("Error Test", this);
    ErrorTestButton1->setObjectName("ErrorTestButton1");
    ErrorTestButton1->setGeometry(216, 244, 90, 27);
    ErrorTestButton1->setVisible(false);
    CloseButton = new QPushButton("Close", this);
    CloseButton->setObjectName("CloseButton");
    CloseButton->setGeometry(316, 244, 90, 27);
    OpenButton1->setDefault(true);

    connect(MIDIOpen, &QAction::triggered, this, [this] { MIDIOpenExecute(); });
    connect(OpenButton1, &QPushButton::clicked, MIDIOpen, &QAction::trigger);
    connect(MIDIOpen, &QAction::changed, this,
            [this] { OpenButton1->setEnabled(MIDIOpen->isEnabled()); });
    connect(DevSummListBox1, &QListWidget::itemDoubleClicked, this, [this] { MIDIOpenExecute(); });
    connect(DevSummListBox1, &QListWidget::currentRowChanged, this, [this] { MIDIOpenUpdate(); });
    connect(DevSummListBox1, &QListWidget::itemSelectionChanged, this,
            [this] { MIDIOpenUpdate(); });
    connect(ErrorTestButton1, &QPushButton::clicked, this, [this] { ErrorTestButton1Click(); });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);

    // Where the no-output notice stands: the boxes matter only with an output.
    const auto syncBox = [this](const char* name, const char* text, const char* description, int x,
                                int y) {
        auto* box = new QCheckBox(text, this);
        box->setObjectName(name);
        box->setAccessibleDescription(description);
        box->setGeometry(x, y, 210, 18);
        connect(box, &QCheckBox::toggled, this, [this] { SyncBoxChanged(); });
        return box;
    };
    SendClockBox = syncBox("SendClockBox", "Send MIDI clock",
                           "While a song plays, the output also gets MIDI clock, Start and Stop, "
                           "so that a DAW or drum machine plays along",
                           8, 204);
    TimebaseMasterBox =
        syncBox("TimebaseMasterBox", "JACK timebase master",
                "With MIDI clock on JACK, the song's tempo leads the transport", 8, 222);
    FollowTransportBox =
        syncBox("FollowTransportBox", "Follow JACK transport",
                "Play, Stop, the song's position and its tempo follow JACK's transport", 226, 204);
    FollowClockBox = syncBox("FollowClockBox", "Follow MIDI clock",
                             "Start, Stop, the song's position and its tempo follow the MIDI clock "
                             "coming in at sorvelin:midi_in",
                             226, 222);

    setTabOrder(DevSummListBox1, OpenButton1);
    setTabOrder(OpenButton1, CloseButton);
    setTabOrder(CloseButton, SendClockBox);
    setTabOrder(SendClockBox, FollowTransportBox);
    setTabOrder(FollowTransportBox, TimebaseMasterBox);
    setTabOrder(TimebaseMasterBox, FollowClockBox);
    ShowSync();
    MIDIOpenUpdate();
}

TMidiDevice::~TMidiDevice() {
    // Nobody may be told of a song's end once the windows go.
    engine_->ClearPlayEndHandler();
    engine_->StopPlayback();
    model_->CloseDevice();
    Guarded([this] { SaveSettings(); });
    engine_.reset();
    model_.reset();
    output_.reset();
    timer_.reset();
}

int TMidiDevice::FormCreate() {
    timer_->BeginPeriod(timer_->GetDevCaps().periodMin);
    const QPoint corner = SavedCorner(this);
    DevicePlacement placement{corner.y(), corner.x(), width(), height()};
    // Without a settings file nothing is read: the built-in synthesizer is opened.
    const int result = model_->Startup(options_.settingsFile, placement);
    ShowSync();
    // A placement from another desktop must not leave the window out of reach.
    // The designed place gives way to the windows shown before this one.
    resize(placement.width, placement.height);
    const DevicePlacement designed;
    MoveOntoScreen(this, placement.left, placement.top,
                   placement.left != designed.left || placement.top != designed.top);
    if (result != 0) {
        ShowModal();
        // "Close" without an output: remembered, so the next start is quiet.
        if (!model_->IsOpen()) {
            model_->GoOnWithoutSound();
        }
    }
    return result;
}

void TMidiDevice::SaveSettings() {
    if (options_.settingsFile.empty()) {
        return;
    }
    // The client's place and size, as the window is put back to them.
    const QPoint corner = SavedCorner(this);
    model_->SaveDeviceSettings(options_.settingsFile, {corner.y(), corner.x(), width(), height()});
}

void TMidiDevice::ShowSync() {
    const SyncSettings sync = model_->Sync();
    for (auto [box, on] : {std::pair{SendClockBox, sync.sendClock},
                           std::pair{FollowTransportBox, sync.followTransport},
                           std::pair{TimebaseMasterBox, sync.timebaseMaster},
                           std::pair{FollowClockBox, sync.followClock}}) {
        const QSignalBlocker quiet(box);
        box->setChecked(on);
    }
    TimebaseMasterBox->setEnabled(sync.sendClock);
    engine_->SetSendClock(sync.sendClock);
}

void TMidiDevice::SyncBoxChanged() {
    model_->SetSync({SendClockBox->isChecked(), FollowTransportBox->isChecked(),
                     TimebaseMasterBox->isChecked(), FollowClockBox->isChecked()});
    ShowSync();
}

void TMidiDevice::ShowModal() {
    if (options_.showModal) {
        options_.showModal(*this);
        return;
    }
    exec();
}

void TMidiDevice::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    PlaceBesideShown(this);
    Guarded([this] { FillDeviceList(); });
    ShowOutputState();
}

void TMidiDevice::ShowOutputState() {
    NoOutputLabel->setVisible(!model_->IsOpen());
    for (QCheckBox* box : {SendClockBox, TimebaseMasterBox, FollowTransportBox, FollowClockBox}) {
        box->setVisible(model_->IsOpen());
    }
}

void TMidiDevice::FillDeviceList() {
    DevSummListBox1->clear();
    for (const std::string& line : model_->FillDeviceList()) {
        DevSummListBox1->addItem(QString::fromStdString(line));
    }
    const int row = model_->SelectedRow();
    // An id beyond the list leaves no row selected.
    DevSummListBox1->setCurrentRow(row < DevSummListBox1->count() ? row : -1);
    MIDIOpenUpdate();
}

void TMidiDevice::MIDIOpenUpdate() {
    MIDIOpen->setEnabled(DevSummListBox1->currentRow() >= 0 &&
                         !DevSummListBox1->selectedItems().isEmpty());
    OpenButton1->setEnabled(MIDIOpen->isEnabled());
}

void TMidiDevice::MIDIOpenExecute() {
    Guarded([this] {
        const int row = DevSummListBox1->currentRow();
        if (row < 0) {
            return;
        }
        const int result = model_->OpenDevice(row - 1);
        ShowOutputState();
        if (result == 0) {
            accept();
        }
    });
}

void TMidiDevice::ErrorTestButton1Click() {
    Guarded([this] { RunErrorTest(*engine_, *output_, *timer_); });
}

} // namespace sorvelin
