#include "ui/explorer/Main.h"
#include "explorer/MainPrf.h"
#include "ui/common/ProgressDialog.h"

#include "base/Errors.h"
#include "ui/common/AccessibleRoles.h"
#include "ui/common/ErrorGuard.h"
#include "ui/common/SettingsLocation.h"
#include "ui/explorer/MainPictures.h"
#include "ui/explorer/Sizeablerectshape.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cmath>

namespace sorvelin {

TMainForm1* MainForm1 = nullptr;

namespace {

constexpr int ClientWidth = 353;
constexpr int ClientHeight = 542;
// How often the window shows what the picture's threads finished: often
// enough to look smooth, rarely enough to leave the cores to them.
constexpr int PictureTurnMs = 15;
// The shortest pause between two auditions of the line: twenty a second.
constexpr int AuditionPauseMs = 50;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}
std::string Text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

void SetText(QLineEdit* edit, const std::string& text) {
    const QString value = Text(text);
    if (edit->text() != value) {
        edit->setText(value);
    }
    // A number longer than its field shows its sign and first digits.
    if (!edit->hasFocus()) {
        edit->setCursorPosition(0);
    }
}

// Screen pixels per window pixel, whole: a screen scaled by 1.5 gets the
// picture of 2, shown a little smaller, still sharp.
int ScreenPixelRatio(const QWidget* widget) {
    return std::max(1, static_cast<int>(std::ceil(widget->devicePixelRatioF() - 0.01)));
}

} // namespace

TMainForm1::TMainForm1(QWidget* parent) : QWidget(parent) {
    // Before the title is set, which is already announced.
    PublishAccessibleRole(staticMetaObject, QAccessible::Window);
    setObjectName("MainForm1");
    setWindowTitle("Sorvelin (Ver 1.10 )");
    setFixedSize(ClientWidth, ClientHeight);
    BuildControls();
    SetAccessibleTexts();
    SetTabOrder();

    // FormCreate: the settings folder, the idle handler and the picture.
    AppDir = SettingsDir();
    idleTimer_ = new QTimer(this);
    idleTimer_->setObjectName("IdleTimer");
    idleTimer_->setInterval(PictureTurnMs);
    auditionTimer_ = new QTimer(this);
    auditionTimer_->setObjectName("AuditionTimer");
    auditionTimer_->setSingleShot(true);
    auditionTimer_->setTimerType(Qt::PreciseTimer);
    auditionTimer_->setInterval(AuditionPauseMs);
    BindPicture();
    ConnectHandlers();
}

TMainForm1::~TMainForm1() {
    idleTimer_->stop();
    Timer1->stop();
    auditionTimer_->stop();
}

void TMainForm1::BindPicture() {
    const Picture& picture = model_.Image();
    fractalImage_ = QImage(reinterpret_cast<const uchar*>(picture.Bits()), picture.Width(),
                           picture.Height(), picture.BytesPerLine(), QImage::Format_RGB32);
    if (!ImageMode) {
        ShowFractalPicture();
    }
}

void TMainForm1::ConnectHandlers() {
    connect(ExitButton1, &QPushButton::clicked, this, [this] { ExitButton1Click(); });
    connect(ComboBox1, &QComboBox::activated, this, [this] { ComboBox1Change(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(idleTimer_, &QTimer::timeout, this, [this] { IdleRender(); });

    connect(ZoomIn, &QPushButton::clicked, this, [this] { SetButton1Click(); });
    connect(ZoomOut, &QPushButton::clicked, this, [this] { ZoomOutClick(); });
    connect(LeftSpeedButton, &QToolButton::clicked, this, [this] { LeftSpeedButtonClick(); });
    connect(RightSpeedButton, &QToolButton::clicked, this, [this] { RightSpeedButtonClick(); });
    connect(UpSpeedButton, &QToolButton::clicked, this, [this] { UpSpeedButtonClick(); });
    connect(DownSpeedButton, &QToolButton::clicked, this, [this] { DownSpeedButtonClick(); });
    connect(Reset, &QPushButton::clicked, this, [this] { ResetClick(); });
    connect(Redraw, &QPushButton::clicked, this, [this] { RedrawClick(); });
    connect(SizeableRectShape1, &TSizeableRectShape::MouseUp, this,
            [this] { SizeableRectShape1MouseUp(); });

    connect(ActionDraw, &QAction::triggered, this, [this] { ActionDrawExecute(); });
    connect(Turbo, &QPushButton::clicked, ActionDraw, &QAction::trigger);

    connect(Image2, &TOverlay::MouseDown, this,
            [this](Qt::MouseButton, Qt::MouseButtons buttons, QPoint at) {
                Image2MouseDown(buttons, at);
            });
    connect(Image2, &TOverlay::MouseMove, this, [this](QPoint at) { Image2MouseMove(at); });
    connect(Image2, &TOverlay::MouseUp, this,
            [this](Qt::MouseButton, QPoint at) { Image2MouseUp(at); });
    connect(Image2, &TOverlay::MarkerDropped, this, [this](QPoint at) { Image2DragDrop(at); });
    connect(Shape1, &TJuliaMarker::KeyboardDrop, this,
            [this] { Image2DragDrop(QPoint(Image2->width() / 2, Image2->height() / 2)); });
    connect(XShiftTrackBar1, &QSlider::valueChanged, this, [this] { XShiftTrackBar1Change(); });
    connect(YShiftTrackBar2, &QSlider::valueChanged, this, [this] { YShiftTrackBar2Change(); });
    connect(Compose, &QPushButton::clicked, this, [this] { ComposeClick(); });
    connect(Audition, &QCheckBox::toggled, this, [this] { AuditionClick(); });
    connect(auditionTimer_, &QTimer::timeout, this, [this] {
        if (auditionWaiting_) {
            PlayAudition();
        }
    });

    connect(Image2, &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        PopupMenu1Popup();
        PopupMenu1->popup(Image2->mapToGlobal(at));
    });
    // A right click inside the zoom rectangle opens the same menu.
    SizeableRectShape1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(SizeableRectShape1, &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        PopupMenu1Popup();
        PopupMenu1->popup(SizeableRectShape1->mapToGlobal(at));
    });
    Redraw->setShortcut(QKeySequence(Qt::Key_F5));
    // From the keyboard, the menu key or Shift+F10 opens it at the picture's centre.
    for (const QKeySequence& keys :
         {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this] {
            PopupMenu1Popup();
            PopupMenu1->popup(Image2->mapToGlobal(Image2->rect().center()));
        });
    }
    connect(ActionBack, &QAction::triggered, this, [this] { BackClick(); });
    connect(ActionForward, &QAction::triggered, this, [this] { ForwardClick(); });
    connect(PictureSize, &QComboBox::currentIndexChanged, this, [this] { PictureSizeChange(); });
    connect(CopyImage1, &QAction::triggered, this, [this] { CopyImage1Click(); });
    connect(CopySeries1, &QAction::triggered, this, [this] { CopySeries1Click(); });
    connect(ImportImage1, &QAction::triggered, this, [this] { ImportImage1Click(); });
}

int TMainForm1::PolyphonicIndex() const {
    return PolyphonicButtons->checkedId();
}

void TMainForm1::SetPolyphonicIndex(int index) {
    QAbstractButton* button = PolyphonicButtons->button(index);
    if (button == nullptr) {
        throw IndexError(index, static_cast<long long>(PolyphonicButtons->buttons().size()));
    }
    button->setChecked(true);
}

void TMainForm1::ReadFields() {
    ExplorerFields& f = model_.Fields();
    f.MouseX = Text(MouseX);
    f.MouseY = Text(MouseY);
    f.RectWidth = Text(RectWidth);
    f.RectHeight = Text(RectHeight);
    f.posX = Text(posX);
    f.posY = Text(posY);
    f.RangeX = Text(RangeX);
    f.RangeY = Text(RangeY);
    f.StartX = Text(StartX);
    f.StartY = Text(StartY);
    f.EndX = Text(EndX);
    f.EndY = Text(EndY);
    f.Iteration = Text(Iteration);
    f.ComboBox1Index = ComboBox1->currentIndex();
    f.PolyphonicMethodIndex = PolyphonicIndex();
    f.XShiftTrackBar1Position = XShiftTrackBar1->value();
    f.YShiftTrackBar2Position = YShiftTrackBar2->value();
    f.XShiftEdit1 = Text(XShiftEdit1);
    f.YShiftEdit1 = Text(YShiftEdit1);
    f.AlwaysChecked = Always->isChecked();
    f.ComposeEnabled = Compose->isEnabled();
    const QRect r = SizeableRectShape1->geometry();
    f.SizeableRectShape1 = RectBounds{r.x(), r.y(), r.width(), r.height()};
}

void TMainForm1::WriteFields() {
    const ExplorerFields& f = model_.Fields();
    SetText(MouseX, f.MouseX);
    SetText(MouseY, f.MouseY);
    SetText(RectWidth, f.RectWidth);
    SetText(RectHeight, f.RectHeight);
    SetText(posX, f.posX);
    SetText(posY, f.posY);
    SetText(RangeX, f.RangeX);
    SetText(RangeY, f.RangeY);
    SetText(StartX, f.StartX);
    SetText(StartY, f.StartY);
    SetText(EndX, f.EndX);
    SetText(EndY, f.EndY);
    SetText(Iteration, f.Iteration);
    SetText(XShiftEdit1, f.XShiftEdit1);
    SetText(YShiftEdit1, f.YShiftEdit1);
    {
        // The model already holds these values: no change handler should run.
        const QSignalBlocker blockX(XShiftTrackBar1);
        const QSignalBlocker blockY(YShiftTrackBar2);
        XShiftTrackBar1->setValue(f.XShiftTrackBar1Position);
        YShiftTrackBar2->setValue(f.YShiftTrackBar2Position);
    }
    Compose->setEnabled(f.ComposeEnabled);
    const RectBounds& b = f.SizeableRectShape1;
    const QRect bounds(b.Left, b.Top, b.Width, b.Height);
    if (SizeableRectShape1->geometry() != bounds) {
        SizeableRectShape1->setGeometry(bounds);
    }
}

bool TMainForm1::Run(const std::function<void()>& operation) {
    const bool done = Guarded([&] {
        ReadFields();
        operation();
    });
    WriteFields();
    AfterModelChange();
    return done;
}

bool TMainForm1::RunExternal(const std::function<void()>& operation) {
    const bool done = RunView(operation);
    {
        const QSignalBlocker block(ComboBox1);
        ComboBox1->setCurrentIndex(model_.Fields().ComboBox1Index);
    }
    Guarded([this] { SetPolyphonicIndex(model_.Fields().PolyphonicMethodIndex); });
    const bool julia = model_.JuliaMarkerVisible();
    Shape1->setVisible(julia);
    LabelDragme->setVisible(julia);
    // A restored line is shown, and can be composed again, as a drawn one.
    const LinePoints& line = model_.Line();
    Image2->ClearLine();
    if (done && (line.LineStartX != line.LineEndX || line.LineStartY != line.LineEndY)) {
        Image2->ShowLine(QLine(line.LineStartX, line.LineStartY, line.LineEndX, line.LineEndY));
        model_.Fields().ComposeEnabled = true;
        Compose->setEnabled(true);
    }
    return done;
}

bool TMainForm1::RunView(const std::function<void()>& operation) {
    // The picture, even the whole one that "Always" asks for, is computed on
    // the picture's threads: the operation itself returns at once.
    return Run(operation);
}

void TMainForm1::AfterModelChange() {
    if (ImageMode != model_.ImageMode()) {
        if (model_.ImageMode()) {
            EnterImageMode();
        } else {
            LeaveImageMode();
        }
    }
    if (!ImageMode) {
        Image1->update();
    }
    if (IdleRendering()) {
        if (!idleTimer_->isActive()) {
            idleTimer_->start();
        }
    } else {
        idleTimer_->stop();
    }
    ActionBack->setEnabled(model_.CanUndoView());
    ActionForward->setEnabled(model_.CanRedoView());
}

bool TMainForm1::IdleRendering() const {
    return model_.PictureBusy();
}

void TMainForm1::ShowFractalPicture() {
    Image1->SetImage(fractalImage_);
}

void TMainForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TMainForm1::FormShow() {
    // A malformed main.prf stops its own loading only; start-up goes on with
    // the design values for whatever was not applied.
    Guarded([this] { LoadSettings(); });
    SetPictureSizeTo(PictureSizeChosen());
    model_.SetPictureSize(Image1->width(), Image1->height(), ScreenPixelRatio(this));
    BindPicture();
    Run([this] { model_.ShowFirstView(); });
    {
        const QSignalBlocker block(ComboBox1);
        ComboBox1->setCurrentIndex(0);
    }
    model_.Fields().ComboBox1Index = 0;
    ImageMode = false;
    // Going on without sound was chosen before: said once, here, not asked again.
    if (companions_.withoutSoundByChoice && companions_.withoutSoundByChoice()) {
        NoticeLabel->setText(NoSoundNotice);
    }
}

int TMainForm1::PictureSizeChosen() const {
    return PictureSizes[std::clamp(PictureSize->currentIndex(), 0,
                                   static_cast<int>(std::size(PictureSizes)) - 1)];
}

void TMainForm1::PictureSizeChange() {
    if (!shown_) {
        return; // the show handler lays the window out once settings are read
    }
    const int size = PictureSizeChosen();
    SetPictureSizeTo(size);
    Run([&] { model_.ResizePicture(size, ScreenPixelRatio(this)); });
    BindPicture();
    // The line keeps its place on the plane.
    const LinePoints& line = model_.Line();
    if (Image2->HasLine()) {
        Image2->ShowLine(QLine(line.LineStartX, line.LineStartY, line.LineEndX, line.LineEndY));
    }
}

void TMainForm1::BackClick() {
    StepView(true);
}

void TMainForm1::ForwardClick() {
    StepView(false);
}

void TMainForm1::StepView(bool back) {
    RunView([&] { back ? model_.UndoView() : model_.RedoView(); });
    {
        const QSignalBlocker block(ComboBox1);
        ComboBox1->setCurrentIndex(model_.Fields().ComboBox1Index);
    }
    const bool julia = model_.JuliaMarkerVisible();
    Shape1->setVisible(julia);
    LabelDragme->setVisible(julia);
}

bool TMainForm1::focusNextPrevChild(bool next) {
    if (next && focusWidget() == nullptr) {
        MouseX->setFocus(Qt::TabFocusReason);
        return true;
    }
    return QWidget::focusNextPrevChild(next);
}

void TMainForm1::closeEvent(QCloseEvent* event) {
    if (WorkRunning()) {
        // A handler below on the stack still waits for its work: cancel it
        // and close once that handler has returned.
        CancelRunningWork();
        event->ignore();
        QTimer::singleShot(ProgressDialogDelayMs / 10, this, [this] { close(); });
        return;
    }
    FormClose();
    event->accept();
    emit Closed();
}

void TMainForm1::FormClose() {
    idleTimer_->stop();
    // The picture's threads stop within milliseconds, whatever they compute.
    model_.CancelPicture();
    // A settings file that cannot be written is reported; the window still
    // closes, since nothing but the window's own settings is lost.
    Guarded([this] { SaveSettings(); });
}

void TMainForm1::ExitButton1Click() {
    close();
}

void TMainForm1::ComboBox1Change() {
    const int index = ComboBox1->currentIndex();
    RunView([&] { model_.SelectFormula(index); });
    const bool julia = model_.JuliaMarkerVisible();
    Shape1->setVisible(julia);
    LabelDragme->setVisible(julia);
}

void TMainForm1::SetControlsForImageMode(bool imageMode) {
    for (QWidget* control : std::initializer_list<QWidget*>{
             Turbo, Always, ZoomIn, ZoomOut, UpSpeedButton, LeftSpeedButton, RightSpeedButton,
             DownSpeedButton, Redraw, Reset}) {
        control->setEnabled(!imageMode);
    }
    ActionDraw->setEnabled(!imageMode);
}

void TMainForm1::EnterImageMode() {
    ImageMode = true;
    SetControlsForImageMode(true);
    idleTimer_->stop();
    Image1->SetImage(importedImage_);
}

void TMainForm1::LeaveImageMode() {
    ImageMode = false;
    SetControlsForImageMode(false);
    importedImage_ = QImage();
    ShowFractalPicture();
}

bool TMainForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == NoticeLabel && event->type() == QEvent::MouseMove) {
        NoticeLabelMouseMove();
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm1::NoticeLabelMouseMove() {
    if (!Timer1->isActive() && NoticeLabel->palette().color(QPalette::WindowText) != Qt::black) {
        Timer1->start();
    }
}

void TMainForm1::Timer1Timer() {
    // Each step darkens every byte by 2 until the notice is black.
    const QColor colour = NoticeLabel->palette().color(QPalette::WindowText);
    auto darker = [](int byte) { return byte >= 2 ? byte - 2 : 0; };
    const QColor next(darker(colour.red()), darker(colour.green()), darker(colour.blue()));
    QPalette palette = NoticeLabel->palette();
    palette.setColor(QPalette::WindowText, next);
    NoticeLabel->setPalette(palette);
    NoticeLabel->update();
    if (next == QColor(Qt::black)) {
        Timer1->stop();
    }
}

} // namespace sorvelin
