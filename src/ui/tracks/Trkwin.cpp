#include "ui/tracks/Trkwin.h"

#include "midi/Mididata.h"
#include "midi/Midispec.h"
#include "output/PlaybackEngine.h"
#include "ui/common/AccessibleComboBox.h"
#include "ui/common/ErrorGuard.h"
#include "ui/common/Mnemonic.h"
#include "ui/common/WindowPlacement.h"
#include "ui/tracks/UpDown.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <algorithm>
#include <array>

namespace sorvelin {

TTrackSettingWin* TrackSettingWin = nullptr;

namespace {

constexpr int PanControl = 10;
constexpr std::array<int, 6> ColumnWidths{64, 64, 27, 94, 45, 29};
constexpr std::array<const char*, 6> Header{"Part", "Use", "Chn.", "Program", "Pan", "Oct."};

// The application's face at the designed 12 pixels, so the grid reads like
// the rest of the desktop (a serif face asked for by name is replaced by
// whatever the desktop has, often wider and taller).
QFont TableFont() {
    QFont font = QApplication::font();
    font.setPixelSize(12);
    return font;
}

constexpr int GridTop = 4;
constexpr int GridHeight = 282;
constexpr int PanelHeight = 68;
constexpr int PanTickInterval = 16; // a mark every 16 steps, the centre among them

QString ProgramText(int program) {
    return program >= MinDataByte && program <= MaxDataByte
               ? QString::fromStdString(ProgramName(program))
               : QString();
}

} // namespace

TTrackSettingWin::TTrackSettingWin(QWidget* parent)
    : QDialog(parent), Parts(DefaultPartSettings()) {
    setObjectName("TrackSettingWin");
    setWindowTitle("Track Settings");
    setFixedSize(370, 362);
    BuildGrid();
    BuildPanel();
    CloseButton1 = new QPushButton("Close", Panel1);
    CloseButton1->setObjectName("CloseButton1");
    CloseButton1->setGeometry(286, 34, 68, 26);
    connect(CloseButton1, &QPushButton::clicked, this, &QDialog::close);
    SetMnemonics({{CloseButton1, "&Close"}, {Use, "&Use Part"}});

    setTabOrder(StringGrid1, Use);
    setTabOrder(Use, ChannelUpDown1);
    setTabOrder(ChannelUpDown1, ProgramChange);
    setTabOrder(ProgramChange, TrackBar1);
    setTabOrder(TrackBar1, OctaveUpDown1);
    setTabOrder(OctaveUpDown1, CloseButton1);
    FormShow();
}

void TTrackSettingWin::BuildGrid() {
    StringGrid1 = new QTableWidget(PartSettingsCount, static_cast<int>(Header.size()), this);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->setAccessibleName("Parts");
    StringGrid1->setAccessibleDescription(
        "The sixteen parts; press a row with the mouse to edit that part");
    StringGrid1->setFont(TableFont());
    StringGrid1->verticalHeader()->setVisible(false);
    StringGrid1->horizontalHeader()->setSectionsClickable(false);
    StringGrid1->horizontalHeader()->setHighlightSections(false);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    // The height of "|" in the grid's face, and two pixels to spare.
    const int rowHeight = QFontMetrics(TableFont()).boundingRect("|").height() + 2;
    StringGrid1->verticalHeader()->setMinimumSectionSize(1);
    StringGrid1->verticalHeader()->setDefaultSectionSize(rowHeight);
    for (int column = 0; column < static_cast<int>(ColumnWidths.size()); ++column) {
        StringGrid1->setColumnWidth(column, ColumnWidths[static_cast<std::size_t>(column)]);
        StringGrid1->setHorizontalHeaderItem(
            column, new QTableWidgetItem(Header[static_cast<std::size_t>(column)]));
        for (int row = 0; row < PartSettingsCount; ++row) {
            StringGrid1->setItem(row, column, new QTableWidgetItem);
        }
    }
    // The corner button would select every cell: the grid is read-only.
    StringGrid1->setCornerButtonEnabled(false);
    for (QAbstractButton* corner : StringGrid1->findChildren<QAbstractButton*>()) {
        corner->setFocusPolicy(Qt::NoFocus);
    }
    StringGrid1->horizontalHeader()->setFont(TableFont());
    StringGrid1->horizontalHeader()->setFixedHeight(rowHeight + 4);
    // All sixteen rows are shown: where the face is taller than designed, the
    // grid (and the window below it) grows by what is missing.
    const int needed = StringGrid1->horizontalHeader()->height() + PartSettingsCount * rowHeight +
                       2 * StringGrid1->frameWidth();
    StringGrid1->setGeometry(4, GridTop, 362, std::max(GridHeight, needed));
    // Only a mouse press chooses the edited part; moving the cell with the
    // keyboard only moves the cell.
    connect(StringGrid1, &QTableWidget::cellPressed, this,
            [this](int row, int) { Guarded([&] { SelectPart(row); }); });
}

void TTrackSettingWin::BuildPanel() {
    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    const int top = StringGrid1->geometry().bottom() + 5;
    Panel1->setGeometry(4, top, 362, PanelHeight);
    setFixedSize(width(), top + PanelHeight + 4);

    Use = new QCheckBox("Use Part", Panel1);
    Use->setObjectName("Use");
    Use->setGeometry(8, 6, 80, 22);
    auto* channelLabel = new QLabel("Chn.", Panel1);
    channelLabel->setGeometry(92, 6, 28, 22);
    ChannelEdit = new QLineEdit("1", Panel1);
    ChannelEdit->setObjectName("ChannelEdit");
    ChannelEdit->setReadOnly(true);
    ChannelEdit->setToolTip("MIDI Channel");
    ChannelEdit->setAccessibleName("MIDI Channel");
    ChannelEdit->setAccessibleDescription("The MIDI channel the part plays on, 1 to 16");
    ChannelEdit->setGeometry(120, 6, 30, 22);
    ChannelEdit->setFocusPolicy(Qt::NoFocus);
    ChannelUpDown1 = new TUpDown(MinChannel + 1, MaxChannel + 1, ChannelEdit, Panel1);
    ChannelUpDown1->setObjectName("ChannelUpDown1");
    ChannelUpDown1->setToolTip("MIDI Channel");
    ChannelUpDown1->setAccessibleName("MIDI Channel Up-Down");
    ChannelUpDown1->setAccessibleDescription("Steps the part's MIDI channel up or down");
    ChannelUpDown1->setGeometry(150, 6, 18, 22);
    ProgramChange = new TNamedComboBox(Panel1);
    ProgramChange->setObjectName("ProgramChange");
    ProgramChange->setAccessibleName("Program");
    ProgramChange->setAccessibleDescription("The General MIDI instrument of the part");
    ProgramChange->setFont(TableFont());
    for (const std::string& name : ProgramNames()) {
        ProgramChange->addItem(QString::fromStdString(name));
    }
    ProgramChange->setMaxVisibleItems(16);
    ProgramChange->view()->setAccessibleName("Programs");
    ProgramChange->setGeometry(176, 6, 178, 22);

    Label1 = new QLabel("Panpot", Panel1);
    Label1->setObjectName("Label1");
    Label1->setGeometry(8, 36, 44, 22);
    TrackBar1 = new QSlider(Qt::Horizontal, Panel1);
    TrackBar1->setObjectName("TrackBar1");
    TrackBar1->setRange(MinDataByte, MaxDataByte);
    TrackBar1->setValue(64);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setTickInterval(PanTickInterval);
    TrackBar1->setAccessibleName("Panpot");
    TrackBar1->setAccessibleDescription("The part's pan position, 0 left, 64 centre, 127 right");
    TrackBar1->setGeometry(52, 34, 140, 28);
    Label1->setBuddy(TrackBar1);
    auto* octaveLabel = new QLabel("Oct.", Panel1);
    octaveLabel->setGeometry(198, 36, 28, 22);
    OctEdit = new QLineEdit("0", Panel1);
    OctEdit->setObjectName("OctEdit");
    OctEdit->setReadOnly(true);
    OctEdit->setToolTip("Octave");
    OctEdit->setAccessibleName("Octave");
    OctEdit->setAccessibleDescription("The part's octave shift, -2 to 2");
    OctEdit->setGeometry(226, 36, 30, 22);
    OctEdit->setFocusPolicy(Qt::NoFocus);
    OctaveUpDown1 = new TUpDown(MinOctave, MaxOctave, OctEdit, Panel1);
    OctaveUpDown1->setObjectName("OctaveUpDown1");
    OctaveUpDown1->setToolTip("Octave");
    OctaveUpDown1->setAccessibleName("Octave Up-Down");
    OctaveUpDown1->setAccessibleDescription("Steps the part's octave shift up or down");
    OctaveUpDown1->setGeometry(256, 36, 18, 22);
    OctaveUpDown1->SetPosition(0);

    connect(Use, &QCheckBox::clicked, this, [this] { Guarded([this] { UseClick(); }); });
    connect(ChannelUpDown1, &TUpDown::Clicked, this,
            [this] { Guarded([this] { ChannelUpDown1Click(); }); });
    connect(ProgramChange, &QComboBox::activated, this,
            [this] { Guarded([this] { ProgramChangeChange(); }); });
    connect(TrackBar1, &QSlider::valueChanged, this,
            [this] { Guarded([this] { TrackBar1Change(); }); });
    connect(OctaveUpDown1, &TUpDown::Clicked, this,
            [this] { Guarded([this] { OctaveUpDown1Click(); }); });
}

void TTrackSettingWin::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    PlaceBesideShown(this);
    Guarded([this] { FormShow(); });
}

void TTrackSettingWin::FormShow() {
    for (int part = 0; part < PartSettingsCount; ++part) {
        RefreshPartRow(part);
        StringGrid1->item(part, 0)->setText(QString::fromStdString(PartName(part)));
    }
    StringGrid1->setCurrentCell(0, 0);
    SelectPart(0);
}

void TTrackSettingWin::RefreshPartRow(int part) {
    const PartSettings& p = Parts.at(static_cast<std::size_t>(part));
    StringGrid1->item(part, 1)->setText(p.UsePart ? "Use" : "Not Use");
    StringGrid1->item(part, 2)->setText(QString::number(p.Channel + 1));
    // The column is narrow for the longer instrument names: the whole name
    // shows when the pointer rests on it.
    QTableWidgetItem* program = StringGrid1->item(part, 3);
    program->setText(ProgramText(p.Program));
    program->setToolTip(program->text());
    StringGrid1->item(part, 4)->setText(QString::number(p.Pan));
    StringGrid1->item(part, 5)->setText(QString::number(p.Octave));
}

PartSettings& TTrackSettingWin::Selected() {
    return Parts.at(static_cast<std::size_t>(SelectedPart));
}

void TTrackSettingWin::SelectPart(int part) {
    (void)Parts.at(static_cast<std::size_t>(part)); // IndexError outside the sixteen parts
    SelectedPart = part;
    const PartSettings p = Selected();
    Use->setChecked(p.UsePart);
    ChannelUpDown1->SetPosition(p.Channel + 1);
    ProgramChange->setCurrentIndex(p.Program >= MinDataByte && p.Program <= MaxDataByte ? p.Program
                                                                                        : -1);
    // A pan that differs from the slider's place is sent, as a user's move is.
    TrackBar1->setValue(p.Pan);
    OctaveUpDown1->SetPosition(p.Octave);
    RefreshPartRow(SelectedPart);
}

void TTrackSettingWin::UseClick() {
    Selected().UsePart = Use->isChecked();
    RefreshPartRow(SelectedPart);
}

void TTrackSettingWin::ChannelUpDown1Click() {
    Selected().Channel = static_cast<std::int16_t>(ChannelUpDown1->Position() - 1);
    RefreshPartRow(SelectedPart);
}

void TTrackSettingWin::ProgramChangeChange() {
    PartSettings& p = Selected();
    p.Program = ProgramChange->currentIndex();
    // Heard on the part's own channel, where the part will play.
    if (engine_ != nullptr && p.Program >= MinDataByte) {
        engine_->SendProgramChange(p.Channel, 0, 0, p.Program);
    }
    RefreshPartRow(SelectedPart);
}

void TTrackSettingWin::TrackBar1Change() {
    PartSettings& p = Selected();
    p.Pan = TrackBar1->value();
    if (engine_ != nullptr && p.Channel >= MinChannel && p.Channel <= MaxChannel) {
        const ControlChangeEvent pan(0, static_cast<std::uint8_t>(0xB0 | p.Channel), PanControl,
                                     static_cast<std::uint8_t>(p.Pan));
        engine_->SendEvent(pan);
    }
    RefreshPartRow(SelectedPart);
}

void TTrackSettingWin::OctaveUpDown1Click() {
    Selected().Octave = OctaveUpDown1->Position();
    RefreshPartRow(SelectedPart);
}

} // namespace sorvelin
