// Building the explorer window's controls: names, captions, defaults, places.
#include "explorer/ExplorerFields.h"
#include "explorer/MainPrf.h"
#include "fractal/Iteration.h"
#include "ui/common/AccessibleComboBox.h"
#include "ui/common/Mnemonic.h"
#include "ui/explorer/Main.h"
#include "ui/explorer/MainPictures.h"
#include "ui/explorer/Sizeablerectshape.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

namespace sorvelin {
namespace {

constexpr int DesignSize = ExplorerPictureSize;
constexpr int Bevel = 2;
constexpr int RightColumnX = 260;
constexpr int RightColumnWidth = 85;
constexpr int FieldWidth = 82;
constexpr int FieldHeight = 22;
constexpr int FadeIntervalMs = 200;

template <class Widget, class... Args>
Widget* Make(QWidget* parent, const char* name, QRect geometry, Args&&... args) {
    auto* widget = new Widget(std::forward<Args>(args)..., parent);
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, QRect geometry) {
    return Make<QLabel>(parent, name, geometry, QString(text));
}

// A row of four edit fields under a heading label.
void MakeFieldRow(QWidget* parent, int y, QLineEdit* (&fields)[4], const char* const (&names)[4],
                  const char* const (&texts)[4]) {
    for (int i = 0; i < 4; ++i) {
        fields[i] = Make<QLineEdit>(parent, names[i], QRect(8 + i * 85, y, FieldWidth, FieldHeight),
                                    QString(texts[i]));
    }
}

} // namespace

void TMainForm1::BuildControls() {
    BuildPicture();
    BuildButtons();
    BuildFields();
    BuildComposeControls();
    SetMnemonics({{Turbo, "&Draw Now!"},
                  {Always, "&Always"},
                  {ZoomIn, "Zoom &In"},
                  {ZoomOut, "Zoom &Out"},
                  {Reset, "R&eset"},
                  {Compose, "&Compose"},
                  {Audition, "A&udition"},
                  {ExitButton1, "&Bye"}});
}

void TMainForm1::BuildPicture() {
    Panel1 =
        Make<QFrame>(this, "Panel1", QRect(8, 8, DesignSize + 2 * Bevel, DesignSize + 2 * Bevel));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(Bevel);
    // The picture layers live in a 240 x 240 area inside the bevel, so their
    // coordinates are picture pixels.
    auto* area = Make<QWidget>(Panel1, "PictureArea", QRect(Bevel, Bevel, DesignSize, DesignSize));
    Image1 = Make<TPicture>(area, "Image1", QRect(0, 0, DesignSize, DesignSize));
    Image2 = Make<TOverlay>(area, "Image2", QRect(0, 0, DesignSize, DesignSize));
    SizeableRectShape1 =
        Make<TSizeableRectShape>(area, "SizeableRectShape1", QRect(90, 90, 60, 60));

    PopupMenu1 = new QMenu(Image2);
    PopupMenu1->setObjectName("PopupMenu1");
    CopyImage1 = PopupMenu1->addAction("Copy Image");
    CopyImage1->setObjectName("CopyImage1");
    CopySeries1 = PopupMenu1->addAction("Copy Series");
    CopySeries1->setObjectName("CopySeries1");
    ImportImage1 = PopupMenu1->addAction("Import Image");
    ImportImage1->setObjectName("ImportImage1");

    // The window holds the two so that their keys work wherever the focus is.
    PopupMenu1->addSeparator();
    ActionBack = new QAction("Back", this);
    ActionBack->setObjectName("ActionBack");
    ActionBack->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Left), QKeySequence::Undo});
    ActionForward = new QAction("Forward", this);
    ActionForward->setObjectName("ActionForward");
    ActionForward->setShortcuts(
        {QKeySequence(Qt::ALT | Qt::Key_Right), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    for (QAction* action : {ActionBack, ActionForward}) {
        action->setEnabled(false);
        addAction(action);
        PopupMenu1->addAction(action);
    }
}

void TMainForm1::SetPictureSizeTo(int size) {
    const int delta = size - laidOutSize_;
    if (delta == 0) {
        return;
    }
    // What lies beside the picture moves right, what lies below it moves
    // down (the rows under the picture keep their places among each other);
    // the notice under everything is as wide as the window.
    const int pictureEdge = Panel1->geometry().right();
    const int pictureBottom = Panel1->geometry().bottom();
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child == Panel1 || child->isWindow()) {
            continue;
        }
        QRect g = child->geometry();
        const bool below = g.y() > pictureBottom;
        g.translate(!below && g.x() > pictureEdge ? delta : 0, below ? delta : 0);
        if (child == NoticeLabel) {
            g.setWidth(g.width() + delta);
        }
        child->setGeometry(g);
    }
    Panel1->resize(size + 2 * Bevel, size + 2 * Bevel);
    for (QWidget* layer :
         {Image1->parentWidget(), static_cast<QWidget*>(Image1), static_cast<QWidget*>(Image2)}) {
        layer->resize(size, size);
    }
    setFixedSize(width() + delta, height() + delta);
    laidOutSize_ = size;
}

void TMainForm1::BuildButtons() {
    const int x = RightColumnX;
    const int w = RightColumnWidth;
    ActionDraw = new QAction("Draw Now!", this);
    ActionDraw->setObjectName("ActionDraw");
    Turbo = Make<QPushButton>(this, "Turbo", QRect(x, 8, w, 25), ActionDraw->text());
    Always = Make<QCheckBox>(this, "Always", QRect(x + 2, 36, w - 2, 20), QString("Always"));
    ZoomIn = Make<QPushButton>(this, "ZoomIn", QRect(x, 60, w, 25), QString("Zoom In"));
    ZoomOut = Make<QPushButton>(this, "ZoomOut", QRect(x, 88, w, 25), QString("Zoom Out"));

    // The four pans as a cross of arrow buttons.
    const int arrow = 25;
    const int centreX = x + (w - arrow) / 2;
    UpSpeedButton = Make<QToolButton>(this, "UpSpeedButton", QRect(centreX, 118, arrow, arrow));
    LeftSpeedButton =
        Make<QToolButton>(this, "LeftSpeedButton", QRect(centreX - 27, 144, arrow, arrow));
    RightSpeedButton =
        Make<QToolButton>(this, "RightSpeedButton", QRect(centreX + 27, 144, arrow, arrow));
    DownSpeedButton = Make<QToolButton>(this, "DownSpeedButton", QRect(centreX, 170, arrow, arrow));
    UpSpeedButton->setArrowType(Qt::UpArrow);
    LeftSpeedButton->setArrowType(Qt::LeftArrow);
    RightSpeedButton->setArrowType(Qt::RightArrow);
    DownSpeedButton->setArrowType(Qt::DownArrow);
    for (QToolButton* button :
         {UpSpeedButton, LeftSpeedButton, RightSpeedButton, DownSpeedButton}) {
        button->setFocusPolicy(Qt::StrongFocus);
    }

    Redraw = Make<QPushButton>(this, "Redraw", QRect(x, 200, w, 25), QString("Redraw"));
    Reset = Make<QPushButton>(this, "Reset", QRect(x, 228, w, 25), QString("Reset"));

    // The Julia marker waits beside the picture while "Julia Set" is chosen.
    Shape1 = Make<TJuliaMarker>(this, "Shape1", QRect(x + 2, 258, 17, 17));
    LabelDragme = MakeLabel(this, "LabelDragme", "Drag Me!", QRect(x + 23, 258, w - 23, 17));
    Shape1->hide();
    LabelDragme->hide();
}

void TMainForm1::BuildFields() {
    Label1 = MakeLabel(this, "Label1", "Zoom Range", QRect(8, 258, 120, 16));
    QLineEdit* zoom[4];
    MakeFieldRow(this, 275, zoom, {"MouseX", "MouseY", "RectWidth", "RectHeight"},
                 {"-0.6", "0.0", "2.4", "2.4"});
    MouseX = zoom[0];
    MouseY = zoom[1];
    RectWidth = zoom[2];
    RectHeight = zoom[3];

    Label2 = MakeLabel(this, "Label2", "Disp Range", QRect(8, 301, 120, 16));
    QLineEdit* disp[4];
    MakeFieldRow(this, 318, disp, {"posX", "posY", "RangeX", "RangeY"},
                 {"0.0", "0.0", "2.0", "2.0"});
    posX = disp[0];
    posY = disp[1];
    RangeX = disp[2];
    RangeY = disp[3];

    Label3 = MakeLabel(this, "Label3", "Calc Start-End", QRect(8, 344, 120, 16));
    QLineEdit* calc[4];
    MakeFieldRow(this, 361, calc, {"StartX", "StartY", "EndX", "EndY"},
                 {"0.0", "0.0", "0.0", "0.0"});
    StartX = calc[0];
    StartY = calc[1];
    EndX = calc[2];
    EndY = calc[3];

    Label4 = MakeLabel(this, "Label4", "Iteration", QRect(8, 391, 52, 16));
    Iteration = Make<QLineEdit>(this, "Iteration", QRect(62, 388, 56, FieldHeight), QString("200"));
    Label5 = MakeLabel(this, "Label5", "Func", QRect(128, 391, 32, 16));
    ComboBox1 = Make<TNamedComboBox>(this, "ComboBox1", QRect(162, 388, 183, FieldHeight));
    for (const char* label : FormulaLabels) {
        ComboBox1->addItem(label);
    }
    ComboBox1->setCurrentIndex(0);
}

void TMainForm1::BuildComposeControls() {
    PolyphonicMethod = Make<QGroupBox>(this, "PolyphonicMethod", QRect(8, 414, 190, 80),
                                       QString("Polyphonic Method"));
    PolyphonicButtons = new QButtonGroup(this);
    const char* const methods[] = {"Parallel", "Radiational(Fixd Start)", "Convergence(Fixd End)"};
    for (int i = 0; i < 3; ++i) {
        auto* radio = Make<QRadioButton>(PolyphonicMethod, "", QRect(8, 18 + i * 20, 176, 18),
                                         QString(methods[i]));
        radio->setObjectName(QString("PolyphonicMethod%1").arg(i));
        PolyphonicButtons->addButton(radio, i);
    }
    PolyphonicButtons->button(0)->setChecked(true);

    const int x = 206;
    Label6 = MakeLabel(this, "Label6", "dX", QRect(x, 424, 18, 16));
    XShiftTrackBar1 =
        Make<QSlider>(this, "XShiftTrackBar1", QRect(x + 18, 420, 72, 24), Qt::Horizontal);
    XShiftEdit1 =
        Make<QLineEdit>(this, "XShiftEdit1", QRect(x + 92, 421, 47, FieldHeight), QString("0.01%"));
    Label7 = MakeLabel(this, "Label7", "dY", QRect(x, 454, 18, 16));
    YShiftTrackBar2 =
        Make<QSlider>(this, "YShiftTrackBar2", QRect(x + 18, 450, 72, 24), Qt::Horizontal);
    YShiftEdit1 =
        Make<QLineEdit>(this, "YShiftEdit1", QRect(x + 92, 451, 47, FieldHeight), QString("0.01%"));
    for (QSlider* bar : {XShiftTrackBar1, YShiftTrackBar2}) {
        bar->setRange(0, 100);
        bar->setSingleStep(1);
        bar->setPageStep(10);
        bar->setValue(1);
    }
    // The percentages only display the track bars.
    XShiftEdit1->setReadOnly(true);
    YShiftEdit1->setReadOnly(true);
    Audition = Make<QCheckBox>(this, "Audition", QRect(x + 2, 475, 137, 20), QString("Audition"));

    Compose = Make<QPushButton>(this, "Compose", QRect(8, 499, 110, 25), QString("Compose"));
    Compose->setEnabled(false);
    PictureSizeLabel = MakeLabel(this, "PictureSizeLabel", "Size", QRect(126, 503, 28, 16));
    PictureSize = Make<TNamedComboBox>(this, "PictureSize", QRect(156, 500, 64, FieldHeight));
    for (const int size : PictureSizes) {
        PictureSize->addItem(QString::number(size));
    }
    PictureSize->setCurrentIndex(0);
    ExitButton1 = Make<QPushButton>(this, "ExitButton1",
                                    QRect(RightColumnX, 499, RightColumnWidth, 25), QString("Bye"));

    NoticeLabel = MakeLabel(this, "NoticeLabel", "Drag a line on the picture, then press Compose.",
                            QRect(0, 526, 353, 16));
    NoticeLabel->setAlignment(Qt::AlignCenter);
    NoticeLabel->setMouseTracking(true);
    NoticeLabel->installEventFilter(this);
    // The notice starts in the window's face colour, invisible until the
    // pointer passes over it.
    QPalette palette = NoticeLabel->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Window));
    NoticeLabel->setPalette(palette);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(FadeIntervalMs);
}

void TMainForm1::SetAccessibleTexts() {
    struct Text {
        QWidget* widget;
        const char* name;
        const char* description;
    };
    const Text texts[] = {
        {MouseX, ZoomRangeXCaption, "Centre x of the view the next Zoom In shows"},
        {MouseY, ZoomRangeYCaption, "Centre y of the view the next Zoom In shows"},
        {RectWidth, ZoomRangeWidthCaption, "Width of the view the next Zoom In shows"},
        {RectHeight, ZoomRangeHeightCaption, "Height of the view the next Zoom In shows"},
        {posX, DispRangeXCaption, "Centre x of the view on screen"},
        {posY, DispRangeYCaption, "Centre y of the view on screen"},
        {RangeX, DispRangeWidthCaption, "Width of the view on screen"},
        {RangeY, DispRangeHeightCaption, "Height of the view on screen"},
        {StartX, CalcStartXCaption, "Plane x where the composition line starts"},
        {StartY, CalcStartYCaption, "Plane y where the composition line starts"},
        {EndX, CalcEndXCaption, "Plane x where the composition line ends"},
        {EndY, CalcEndYCaption, "Plane y where the composition line ends"},
        {Iteration, IterationCaption, "Iteration limit of the fractal"},
        {ComboBox1, "Func", "Fractal formula"},
        {XShiftTrackBar1, "dX",
         "Horizontal shift between the parts' lines, in hundredths of a percent"},
        {YShiftTrackBar2, "dY",
         "Vertical shift between the parts' lines, in hundredths of a percent"},
        {XShiftEdit1, "dX percent", "Horizontal shift between the parts' lines as a percentage"},
        {YShiftEdit1, "dY percent", "Vertical shift between the parts' lines as a percentage"},
        {LeftSpeedButton, "Pan Left", "Moves the view left by half its width"},
        {UpSpeedButton, "Pan Up", "Moves the view up by half its width"},
        {DownSpeedButton, "Pan Down", "Moves the view down by half its width"},
        {RightSpeedButton, "Pan Right", "Moves the view right by half its width"},
        {Image1, "Fractal Picture", "The fractal, or the imported image"},
        {Image2, "Composition Line",
         "Drag over the picture to draw the line that Compose samples; right-click for the "
         "clipboard"},
        {SizeableRectShape1, "Zoom Rectangle",
         "Drag or use the arrow keys to move, drag the edges or use Shift and the arrow keys to "
         "resize"},
        {Shape1, "Julia Marker",
         "Drag onto the picture, or press Space, to set the Julia constant"},
        {NoticeLabel, "Notice", "How to use the program"},
        {PolyphonicMethod, "Polyphonic Method", "How the sixteen parts' lines are placed"},
        {Turbo, "Draw Now!", "Computes the whole picture at once"},
        {Always, "Always", "Compute the whole picture after every view change"},
        {ZoomIn, "Zoom In", "Shows the part of the plane in the zoom rectangle"},
        {ZoomOut, "Zoom Out", "Shows twice as much of the plane"},
        {Redraw, "Redraw", "Computes the picture again with the iteration limit"},
        {Reset, "Reset", "Returns to the first view"},
        {Compose, "Compose", "Samples the line into sixteen series and opens the composition"},
        {ExitButton1, "Bye", "Saves the settings and ends the program"},
        {PictureSize, "Picture size", "Width and height of the picture in pixels"},
        {Audition, "Audition",
         "Plays the first bars of the line while it is drawn, with the composition's settings"},
    };
    for (const Text& text : texts) {
        text.widget->setAccessibleName(text.name);
        text.widget->setAccessibleDescription(text.description);
    }
}

void TMainForm1::SetTabOrder() {
    // Top to bottom, left to right: the button column beside the picture,
    // the field rows, the composition controls, then the picture's own controls.
    QWidget* order[] = {Turbo,
                        Always,
                        ZoomIn,
                        ZoomOut,
                        UpSpeedButton,
                        LeftSpeedButton,
                        RightSpeedButton,
                        DownSpeedButton,
                        Redraw,
                        Reset,
                        MouseX,
                        MouseY,
                        RectWidth,
                        RectHeight,
                        posX,
                        posY,
                        RangeX,
                        RangeY,
                        StartX,
                        StartY,
                        EndX,
                        EndY,
                        Iteration,
                        ComboBox1,
                        PolyphonicButtons->button(0),
                        PolyphonicButtons->button(1),
                        PolyphonicButtons->button(2),
                        XShiftTrackBar1,
                        XShiftEdit1,
                        YShiftTrackBar2,
                        YShiftEdit1,
                        Audition,
                        Compose,
                        PictureSize,
                        ExitButton1,
                        SizeableRectShape1,
                        Shape1};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

} // namespace sorvelin
