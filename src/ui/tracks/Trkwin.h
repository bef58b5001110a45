#pragma once
// The track settings window: the sixteen part settings in a table, and the
// controls that edit the part chosen with the mouse. Program and pan changes
// are also sent to the MIDI output at once, on the part's own channel, so the
// user hears the choice where the part will play.
#include "compose/PartSettings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTableWidget;

namespace sorvelin {

class PlaybackEngine;
class TUpDown;

class TTrackSettingWin : public QDialog {
    Q_OBJECT
public:
    explicit TTrackSettingWin(QWidget* parent = nullptr);

    // Where the immediate program and pan changes go; none: they are dropped.
    void SetEngine(PlaybackEngine* engine) { engine_ = engine; }

    // Controls, named as their objectName.
    QTableWidget* StringGrid1 = nullptr;
    QFrame* Panel1 = nullptr;
    QCheckBox* Use = nullptr;
    QLineEdit* ChannelEdit = nullptr;
    TUpDown* ChannelUpDown1 = nullptr;
    QComboBox* ProgramChange = nullptr;
    QLabel* Label1 = nullptr;
    QSlider* TrackBar1 = nullptr;
    QLineEdit* OctEdit = nullptr;
    TUpDown* OctaveUpDown1 = nullptr;
    QPushButton* CloseButton1 = nullptr;

    PartSettingsTable Parts;
    int SelectedPart = 0;

    // Rebuilds the table and selects part 1 (each showing, and after a song
    // is loaded while the window is open).
    void FormShow();
    void RefreshPartRow(int part);
    void SelectPart(int part);
    void UseClick();
    void ChannelUpDown1Click();
    void ProgramChangeChange();
    void TrackBar1Change();
    void OctaveUpDown1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildGrid();
    void BuildPanel();
    PartSettings& Selected();

    PlaybackEngine* engine_ = nullptr;
};

extern TTrackSettingWin* TrackSettingWin;

} // namespace sorvelin
