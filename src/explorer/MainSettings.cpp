// main.prf: the explorer window's settings, 31 lines, written on close and
// read when the window is first shown.
#include "compose/Cmpwin.h"
#include "explorer/Main.h"
#include "platform/Convert.h"
#include "platform/Errors.h"
#include "platform/MessageBox.h"
#include "platform/TextFile.h"
#include "platform/WindowPlacement.h"
#include "tracks/Trkwin.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <string>
#include <vector>

namespace sorvelin {
namespace {

const char* const SettingsFileName = "main.prf";
// The version this program writes; a file with a higher one comes from a newer program.
constexpr int SettingsVersion = 0;

void AddGeometry(std::vector<std::string>& lines, const QWidget* window) {
    const QRect frame = window != nullptr ? window->frameGeometry() : QRect();
    lines.push_back(IntToStr(frame.top()));
    lines.push_back(IntToStr(frame.left()));
    lines.push_back(IntToStr(frame.width()));
    lines.push_back(IntToStr(frame.height()));
}

std::string Text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

// Line i of the file; a file too short for it raises the list index error.
const std::string& Line(const std::vector<std::string>& lines, int i) {
    if (i < 0 || i >= static_cast<int>(lines.size())) {
        throw IndexError(i, static_cast<long long>(lines.size()));
    }
    return lines[static_cast<std::size_t>(i)];
}

int IntLine(const std::vector<std::string>& lines, int i) {
    return StrToInt(Line(lines, i));
}

void SetTextLine(QLineEdit* edit, const std::vector<std::string>& lines, int i) {
    edit->setText(QString::fromStdString(Line(lines, i)));
}

// Restores a window's top and left, kept on a screen.
void PlaceWindow(QWidget* window, const std::vector<std::string>& lines, int topLine) {
    const int top = IntLine(lines, topLine);
    const int left = IntLine(lines, topLine + 1);
    if (window != nullptr) {
        MoveOntoScreen(window, left, top);
    }
}

} // namespace

void TMainForm1::SaveSettings() {
    std::vector<std::string> lines;
    lines.reserve(31);
    lines.push_back("0000");
    AddGeometry(lines, this);
    for (const QLineEdit* edit : {MouseX, MouseY, RectWidth, RectHeight, posX, posY, RangeX, RangeY,
                                  StartX, StartY, EndX, EndY, Iteration}) {
        lines.push_back(Text(edit));
    }
    lines.push_back(IntToStr(ComboBox1->currentIndex()));
    lines.push_back(IntToStr(PolyphonicIndex()));
    lines.push_back(IntToStr(XShiftTrackBar1->value()));
    lines.push_back(IntToStr(YShiftTrackBar2->value()));
    lines.push_back(Always->isChecked() ? "1" : "0");
    AddGeometry(lines, ComposeWin);
    AddGeometry(lines, TrackSettingWin);

    // The user's configuration folder may not exist yet.
    std::error_code ec;
    std::filesystem::create_directories(AppDir, ec);
    WriteLinesAtomic(AppDir / SettingsFileName, lines);
}

void TMainForm1::LoadSettings() {
    const std::filesystem::path path = AppDir / SettingsFileName;
    if (!FileExists(path)) {
        return;
    }
    // Each line takes effect as soon as it is read: an error stops the
    // loading there and keeps what came before.
    const std::vector<std::string> lines = ReadLines(path);
    if (IntLine(lines, 0) > SettingsVersion) {
        ShowMessage("Why did you version-down ?");
    }
    PlaceWindow(this, lines, 1);
    SetTextLine(posX, lines, 9);
    SetTextLine(posY, lines, 10);
    SetTextLine(RangeX, lines, 11);
    SetTextLine(RangeY, lines, 12);
    SetTextLine(Iteration, lines, 17);
    const int formula = IntLine(lines, 18);
    if (formula >= 0 && formula < ComboBox1->count()) {
        const QSignalBlocker block(ComboBox1);
        ComboBox1->setCurrentIndex(formula);
    }
    SetPolyphonicIndex(IntLine(lines, 19));
    XShiftTrackBar1->setValue(IntLine(lines, 20));
    YShiftTrackBar2->setValue(IntLine(lines, 21));
    Always->setChecked(IntLine(lines, 22) != 0);
    PlaceWindow(ComposeWin, lines, 23);
    PlaceWindow(TrackSettingWin, lines, 27);
}

} // namespace sorvelin
