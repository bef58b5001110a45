// main.prf: the explorer window's settings, 31 lines, written on close and
// read when the window is first shown.
#include "base/Convert.h"
#include "base/Errors.h"
#include "base/TextFile.h"
#include "explorer/MainPrf.h"
#include "ui/common/MessageBox.h"
#include "ui/common/WindowPlacement.h"
#include "ui/explorer/Main.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace sorvelin {
namespace {

const char* const SettingsFileName = "main.prf";
const char* const SettingsKeptMessage =
    "This setting and the ones after it keep their design values.";

void AddGeometry(std::vector<std::string>& lines, const QWidget* window) {
    // The client's corner, which is what PlaceWindow restores; the frame's size.
    const QRect frame = window != nullptr ? window->frameGeometry() : QRect();
    const QPoint corner = window != nullptr ? SavedCorner(window) : QPoint();
    lines.push_back(IntToStr(corner.y()));
    lines.push_back(IntToStr(corner.x()));
    lines.push_back(IntToStr(frame.width()));
    lines.push_back(IntToStr(frame.height()));
}

std::string Text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

void SetText(QLineEdit* edit, const std::optional<std::string>& text) {
    if (text) {
        edit->setText(QString::fromStdString(*text));
    }
}

// Restores a window's top and left, kept on a screen.
void PlaceWindow(QWidget* window, const std::optional<WindowCorner>& corner) {
    if (window != nullptr && corner) {
        MoveOntoScreen(window, corner->Left, corner->Top);
    }
}

} // namespace

QWidget* TMainForm1::CompanionWindow(const std::function<QWidget*()>& window) const {
    return window ? window() : nullptr;
}

void TMainForm1::SaveSettings() {
    std::vector<std::string> lines;
    lines.reserve(MainPrfLines);
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
    AddGeometry(lines, CompanionWindow(companions_.compositionWindow));
    AddGeometry(lines, CompanionWindow(companions_.trackSettingsWindow));
    // The design size leaves the file as it always was.
    if (PictureSizeChosen() != PictureSizes[0]) {
        lines.push_back(IntToStr(PictureSizeChosen()));
    }

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
    // loading there and keeps what came before; the line that failed and
    // those after it keep their design values, so the next save writes
    // good values in their place.
    std::exception_ptr error;
    const MainPrf prf = ReadMainPrf(ReadLines(path), error);
    if (prf.Newer) {
        ShowMessage("Why did you version-down ?");
    }
    PlaceWindow(this, prf.Main);
    SetText(posX, prf.PosX);
    SetText(posY, prf.PosY);
    SetText(RangeX, prf.RangeX);
    SetText(RangeY, prf.RangeY);
    SetText(Iteration, prf.Iteration);
    if (prf.Formula && *prf.Formula >= 0 && *prf.Formula < ComboBox1->count()) {
        const QSignalBlocker block(ComboBox1);
        ComboBox1->setCurrentIndex(*prf.Formula);
    }
    if (prf.Polyphonic) {
        SetPolyphonicIndex(*prf.Polyphonic); // within the buttons: the reader checked it
    }
    if (prf.XShift) {
        XShiftTrackBar1->setValue(*prf.XShift);
    }
    if (prf.YShift) {
        YShiftTrackBar2->setValue(*prf.YShift);
    }
    if (prf.Always) {
        Always->setChecked(*prf.Always);
    }
    PlaceWindow(CompanionWindow(companions_.compositionWindow), prf.Compose);
    PlaceWindow(CompanionWindow(companions_.trackSettingsWindow), prf.Tracks);
    if (prf.PictureSize) {
        // Laid out by the show handler, after the settings.
        const QSignalBlocker block(PictureSize);
        PictureSize->setCurrentText(QString::number(*prf.PictureSize));
    }
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& failure) {
            // Lines as an editor numbers them, from 1.
            throw UserError(path.string() + ", line " + IntToStr(prf.ErrorLine + 1) + ": " +
                            failure.what() + "\n" + SettingsKeptMessage);
        }
    }
}

} // namespace sorvelin
