#pragma once
// The explorer window: the fractal picture with its zoom rectangle and
// composition line, the view and line fields, the formula list and the
// Compose button. It is the program's main window: closing it ends the run.
// Every handler reads the widgets, calls the explorer model, and writes the
// results back, inside the error guard.
#include "explorer/ExplorerModel.h"

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSlider;
class QTimer;
class QToolButton;
class QGroupBox;

namespace sorvelin {

class TPicture;
class TOverlay;
class TJuliaMarker;
class TSizeableRectShape;

// The notice at start-up when going on without sound was chosen before.
inline constexpr const char* NoSoundNotice =
    "No sound: choose an output with Device Setup in the composition window.";

// How the main window reaches the windows it leads; the start-up sets it once
// the four windows exist. The composition window gives the note count of the
// next Compose and shows the score; the device window says whether going on
// without sound was chosen; main.prf keeps the places of the composition and
// track settings windows; "Audition" has the composition window play the
// first bars of the line as it stands, in place of what plays. A member left
// empty means that window is not there.
struct CompanionLink {
    std::function<int()> noteCount;
    std::function<void()> showComposition;
    std::function<bool()> withoutSoundByChoice;
    std::function<QWidget*()> compositionWindow;
    std::function<QWidget*()> trackSettingsWindow;
    std::function<void()> audition;
};

class TMainForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm1(QWidget* parent = nullptr);
    ~TMainForm1() override;

    // Controls, named as their objectName.
    QFrame* Panel1 = nullptr;
    TPicture* Image1 = nullptr;
    TOverlay* Image2 = nullptr;
    TSizeableRectShape* SizeableRectShape1 = nullptr;
    QPushButton* Turbo = nullptr;
    QAction* ActionDraw = nullptr;
    QCheckBox* Always = nullptr;
    QPushButton* ZoomIn = nullptr;
    QPushButton* ZoomOut = nullptr;
    QToolButton* LeftSpeedButton = nullptr;
    QToolButton* UpSpeedButton = nullptr;
    QToolButton* DownSpeedButton = nullptr;
    QToolButton* RightSpeedButton = nullptr;
    QPushButton* Redraw = nullptr;
    QPushButton* Reset = nullptr;
    QPushButton* Compose = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* MouseX = nullptr;
    QLineEdit* MouseY = nullptr;
    QLineEdit* RectWidth = nullptr;
    QLineEdit* RectHeight = nullptr;
    QLineEdit* posX = nullptr;
    QLineEdit* posY = nullptr;
    QLineEdit* RangeX = nullptr;
    QLineEdit* RangeY = nullptr;
    QLineEdit* StartX = nullptr;
    QLineEdit* StartY = nullptr;
    QLineEdit* EndX = nullptr;
    QLineEdit* EndY = nullptr;
    QLineEdit* Iteration = nullptr;
    QComboBox* ComboBox1 = nullptr;
    TJuliaMarker* Shape1 = nullptr;
    QLabel* LabelDragme = nullptr;
    QGroupBox* PolyphonicMethod = nullptr;
    QButtonGroup* PolyphonicButtons = nullptr;
    QSlider* XShiftTrackBar1 = nullptr;
    QSlider* YShiftTrackBar2 = nullptr;
    QLineEdit* XShiftEdit1 = nullptr;
    QLineEdit* YShiftEdit1 = nullptr;
    QPushButton* ExitButton1 = nullptr;
    QLabel* NoticeLabel = nullptr;
    QTimer* Timer1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* CopyImage1 = nullptr;
    QAction* CopySeries1 = nullptr;
    QAction* ImportImage1 = nullptr;
    // The history of the view: Back (Ctrl+Z, Alt+Left) and Forward
    // (Ctrl+Shift+Z, Alt+Right), also in the picture's menu.
    QAction* ActionBack = nullptr;
    QAction* ActionForward = nullptr;
    // "Picture size": 240, 480 or 720 window pixels a side.
    QComboBox* PictureSize = nullptr;
    QLabel* PictureSizeLabel = nullptr;
    // "Audition": the line is heard while it is drawn. Off at every start.
    QCheckBox* Audition = nullptr;

    // Folder of main.prf, with the rule of SettingsDir.
    std::filesystem::path AppDir;
    bool ImageMode = false;

    // The explorer model behind the window, and the two pieces of it that
    // the other windows read.
    void SetCompanionLink(CompanionLink link) { companions_ = std::move(link); }

    ExplorerModel& Model() { return model_; }
    const ExplorerModel& Model() const { return model_; }
    SeriesTable& Series() { return model_.Series(); }
    FractalIterator& Engine() { return model_.Engine(); }

    // Handlers; each runs inside the error guard.
    void FormShow();
    void FormClose();
    void ComboBox1Change();
    void ExitButton1Click();
    void NoticeLabelMouseMove();
    void Timer1Timer();
    void EnterImageMode();
    void LeaveImageMode();
    void LoadSettings();
    void SaveSettings();

    // Navigation.
    void SetButton1Click(); // Zoom In
    void ZoomOutClick();
    void LeftSpeedButtonClick();
    void RightSpeedButtonClick();
    void UpSpeedButtonClick();
    void DownSpeedButtonClick();
    void ResetClick();
    void RedrawClick();
    void SizeableRectShape1MouseUp();

    // Rendering: the picture is computed on worker threads; while it has
    // work left a timer shows what they finished. "Draw Now!" asks for the
    // whole picture at once.
    void IdleRender();
    void ActionDrawExecute();
    bool IdleRendering() const;

    // The history of the view, and the picture's size.
    void BackClick();
    void ForwardClick();
    void PictureSizeChange();
    int PictureSizeChosen() const;

    // The composition line and Compose.
    void Image2MouseDown(Qt::MouseButtons buttons, QPoint at);
    void Image2MouseMove(QPoint at);
    void Image2MouseUp(QPoint at);
    void XShiftTrackBar1Change();
    void YShiftTrackBar2Change();
    void ComposeClick();
    // "Audition" ticked or cleared; and a move of the line's end while it is
    // ticked: the line is heard at once, or when the pause between two
    // auditions is over (the last move is always heard).
    void AuditionClick();
    void AuditionLine();

    // Clipboard and the Julia marker.
    void PopupMenu1Popup();
    void CopyImage1Click();
    void CopySeries1Click();
    void ImportImage1Click();
    void Image2DragDrop(QPoint at);

    // Copies the controls into the model's fields, and back.
    void ReadFields();
    void WriteFields();
    // Runs another window's operation over the explorer model (Load Song) as
    // this window's own view handlers run, then shows everything the model
    // now holds: fields, formula, polyphonic method, Julia marker and line.
    bool RunExternal(const std::function<void()>& operation);

    // The polyphonic method index and its setter (radio group).
    int PolyphonicIndex() const;
    void SetPolyphonicIndex(int index);

signals:
    // The window has been closed: the program ends.
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // The first Tab into a window without a focused control goes to the first
    // field, "Zoom Range"'s centre, not to whatever was made first.
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildPicture();
    void BuildButtons();
    void BuildFields();
    void BuildComposeControls();
    void SetAccessibleTexts();
    void SetTabOrder();
    void ConnectHandlers();
    void SetControlsForImageMode(bool enabled);
    // Runs a model operation between ReadFields and WriteFields inside the
    // error guard, then brings picture, image mode and idle rendering up to
    // date; returns false when the operation failed.
    bool Run(const std::function<void()>& operation);
    // The same for view changes, with the busy cursor while "Always" draws.
    bool RunView(const std::function<void()>& operation);
    void AfterModelChange();
    void ShowFractalPicture();
    // The picture at `size` window pixels a side: the picture area, the
    // controls beside and below it and the window grow with it; the model
    // computes it at the screen's pixel ratio.
    void SetPictureSizeTo(int size);
    // Shows the model's picture buffer (again after its size changed).
    void BindPicture();
    // A step back or forward in the view's history.
    void StepView(bool back);
    // The audition of the line now, and the pause before the next.
    void PlayAudition();

    // The window of the link, or none.
    QWidget* CompanionWindow(const std::function<QWidget*()>& window) const;

    ExplorerModel model_;
    CompanionLink companions_;
    QImage fractalImage_;
    QImage importedImage_;
    QTimer* idleTimer_ = nullptr;
    // Runs for the pause after an audition; a move meanwhile waits for it.
    QTimer* auditionTimer_ = nullptr;
    bool auditionWaiting_ = false;
    bool shown_ = false;
    // The size the controls are laid out for, in window pixels.
    int laidOutSize_ = 240;
};

extern TMainForm1* MainForm1;

} // namespace sorvelin
