// The track settings window: the part table, choosing a part with the mouse
// only, the editors, and the immediate program and pan changes heard on the
// part's own channel.
#include "midi/Midispec.h"
#include "sound/MidiOutCapture.h"
#include "support/WindowTestSupport.h"
#include "ui/output/Mididevicewin.h"
#include "ui/tracks/Trkwin.h"
#include "ui/tracks/UpDown.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QtTest>

using namespace sorvelin;
using namespace sorvelin::testing;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> Sent() {
    std::vector<Bytes> sent;
    for (const CapturedMessage& m :
         static_cast<CaptureMidiOut&>(MidiDevice->Service()).Messages()) {
        sent.push_back(m.bytes);
    }
    return sent;
}

void ClearSent() {
    static_cast<CaptureMidiOut&>(MidiDevice->Service()).ClearMessages();
}

QString Cell(int row, int column) {
    return TrackSettingWin->StringGrid1->item(row, column)->text();
}

// A mouse press on a cell of the grid, as the user makes it.
void PressRow(int row, int column = 0) {
    QTableWidget* grid = TrackSettingWin->StringGrid1;
    const QRect cell = grid->visualRect(grid->model()->index(row, column));
    QTest::mousePress(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

} // namespace

class TrackSettingsWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    MessageRecorder* recorder_ = nullptr;
    TTrackSettingWin* w = nullptr;

private slots:
    void init() {
        recorder_ = new MessageRecorder;
        StartProgram(dir_.path());
        w = TrackSettingWin;
        w->show();
        ClearSent();
    }

    void cleanup() {
        StopProgram();
        QVERIFY2(recorder_->messages.empty(),
                 recorder_->messages.empty() ? "" : recorder_->messages[0].text.c_str());
        delete recorder_;
    }

    void everyRowShowsInTheDesktopsFaceAndThePanpotReads() {
        QTableWidget* grid = w->StringGrid1;
        QCOMPARE(grid->font().family(), QApplication::font().family());
        const QRect last = grid->visualRect(grid->model()->index(15, 0));
        QVERIFY2(grid->viewport()->rect().contains(last), "the sixteenth row is cut off");
        QVERIFY(w->rect().contains(w->Panel1->geometry()));
        // A mark every step would read as a solid bar.
        QVERIFY(w->TrackBar1->tickInterval() >= 8);
    }

    void theGridShowsTheStartUpSettings() {
        QTableWidget* grid = w->StringGrid1;
        QCOMPARE(grid->rowCount(), 16);
        QCOMPARE(grid->columnCount(), 6);
        const QStringList header{"Part", "Use", "Chn.", "Program", "Pan", "Oct."};
        const int widths[] = {64, 64, 27, 94, 45, 29};
        for (int c = 0; c < 6; ++c) {
            QCOMPARE(grid->horizontalHeaderItem(c)->text(), header[c]);
            QCOMPARE(grid->columnWidth(c), widths[c]);
        }
        const int pans[] = {64, 97, 2, 35, 68, 101, 6, 39, 72, 64, 10, 43, 76, 109, 14, 47};
        for (int part = 0; part < 16; ++part) {
            QCOMPARE(Cell(part, 0), QString("Part %1").arg(part + 1));
            QCOMPARE(Cell(part, 1), QString(part < 2 ? "Use" : "Not Use"));
            QCOMPARE(Cell(part, 2), QString::number(part + 1));
            const int program = part == 9 ? 0 : 5 * part;
            QCOMPARE(Cell(part, 3), QString::fromStdString(ProgramName(program)));
            QCOMPARE(Cell(part, 4), QString::number(pans[part]));
            QCOMPARE(Cell(part, 5), QString("0"));
        }
        QCOMPARE(w->ProgramChange->count(), 128);
        QVERIFY(w->Use->isChecked());
        QCOMPARE(w->ChannelEdit->text(), QString("1"));
        QCOMPARE(w->TrackBar1->value(), 64);
        QCOMPARE(w->OctEdit->text(), QString("0"));
    }

    void onlyAMousePressOnAPartRowChoosesThePart() {
        PressRow(4, 3); // any column of the row
        QCOMPARE(w->SelectedPart, 4);
        QCOMPARE(w->ChannelEdit->text(), QString("5"));
        QCOMPARE(w->ProgramChange->currentIndex(), 20);
        // The keyboard moves the cell only.
        w->StringGrid1->setFocus();
        QTest::keyClick(w->StringGrid1, Qt::Key_Down);
        QTest::keyClick(w->StringGrid1, Qt::Key_Down);
        QCOMPARE(w->StringGrid1->currentRow(), 6);
        QCOMPARE(w->SelectedPart, 4);
        // The header is no part.
        QHeaderView* header = w->StringGrid1->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionPosition(1) + 5, header->height() / 2));
        QCOMPARE(w->SelectedPart, 4);
    }

    void choosingAPartSendsItsPanOnlyWhenTheSliderMoves() {
        PressRow(1); // pan 97 after part 1's 64: sent on channel 2
        QCOMPARE(Sent(), (std::vector<Bytes>{{0xB1, 10, 97}}));
        ClearSent();
        PressRow(1); // the same pan: nothing
        QVERIFY(Sent().empty());
    }

    void movingPartTwosSliderToZeroSendsPanZeroOnChannelTwo() {
        PressRow(1);
        ClearSent();
        w->TrackBar1->setValue(0);
        QCOMPARE(Sent(), (std::vector<Bytes>{{0xB1, 10, 0}}));
        QCOMPARE(Cell(1, 4), QString("0"));
        QCOMPARE(w->Parts[1].Pan, 0);
    }

    void aNewProgramIsHeardOnThePartsOwnChannel() {
        PressRow(2);
        w->ChannelUpDown1->stepBy(4); // channel 3 -> 7
        QCOMPARE(w->ChannelEdit->text(), QString("7"));
        QCOMPARE(Cell(2, 2), QString("7"));
        ClearSent();
        w->ProgramChange->setCurrentIndex(12);
        emit w->ProgramChange->activated(12);
        // Bank 0, 0 and the program, on channel 7 (status low nibble 6).
        QCOMPARE(Sent(), (std::vector<Bytes>{{0xB6, 0, 0}, {0xB6, 32, 0}, {0xC6, 12}}));
        QCOMPARE(w->Parts[2].Program, 12);
        QCOMPARE(Cell(2, 3), QString::fromStdString(ProgramName(12)));
        // The whole name is there for the pointer, whatever the column cuts.
        QCOMPARE(w->StringGrid1->item(2, 3)->toolTip(), QString::fromStdString(ProgramName(12)));
        // The pan follows the part too.
        ClearSent();
        w->TrackBar1->setValue(3);
        QCOMPARE(Sent(), (std::vector<Bytes>{{0xB6, 10, 3}}));
    }

    void theEditorsStoreIntoTheChosenPartAndTheSpinnersDoNotWrap() {
        PressRow(5);
        ClearSent();
        QTest::mouseClick(w->Use, Qt::LeftButton);
        QVERIFY(w->Parts[5].UsePart);
        QCOMPARE(Cell(5, 1), QString("Use"));
        w->OctaveUpDown1->stepBy(5);
        QCOMPARE(w->Parts[5].Octave, 2);
        w->OctaveUpDown1->stepBy(1);
        QCOMPARE(w->OctEdit->text(), QString("2"));
        w->OctaveUpDown1->stepBy(-9);
        QCOMPARE(w->Parts[5].Octave, -2);
        QCOMPARE(Cell(5, 5), QString("-2"));
        w->ChannelUpDown1->stepBy(20);
        QCOMPARE(w->Parts[5].Channel, 15);
        w->ChannelUpDown1->stepBy(-30);
        QCOMPARE(w->Parts[5].Channel, 0);
        QCOMPARE(Cell(5, 2), QString("1"));
        // Nothing but program and pan is sent.
        QVERIFY(Sent().empty());
    }

    void aProgramOutOfRangeShowsNoTextAndNoSelection() {
        w->Parts[3].Program = 200;
        w->FormShow();
        QCOMPARE(Cell(3, 3), QString());
        PressRow(3);
        QCOMPARE(w->ProgramChange->currentIndex(), -1);
        QCOMPARE(w->Parts[3].Program, 200);
    }

    void escapeAndCloseHideTheWindow() {
        QVERIFY(w->isVisible());
        QTest::keyClick(w, Qt::Key_Escape);
        QVERIFY(!w->isVisible());
        w->show();
        QTest::mouseClick(w->CloseButton1, Qt::LeftButton);
        QVERIFY(!w->isVisible());
    }
};

QTEST_MAIN(TrackSettingsWindowTest)
#include "TrackSettingsWindowTest.moc"
