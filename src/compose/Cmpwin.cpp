#include "compose/Cmpwin.h"

#include "platform/Convert.h"

#include <QLabel>
#include <QLineEdit>

namespace sorvelin {

TComposeWin* ComposeWin = nullptr;

TComposeWin::TComposeWin(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("ComposeWin");
    setWindowTitle("Compose");
    resize(425, 330);
    auto* label = new QLabel("Note Count", this);
    label->setGeometry(8, 8, 80, 21);
    NoteCount = new QLineEdit("200", this);
    NoteCount->setObjectName("NoteCount");
    NoteCount->setAccessibleName("Note Count");
    NoteCount->setAccessibleDescription("Number of notes sampled along each line");
    NoteCount->setGeometry(90, 8, 60, 21);
    connect(NoteCount, &QLineEdit::textChanged, this, &TComposeWin::NoteCountChange);
}

void TComposeWin::NoteCountChange() {
    int value = 0;
    if (TryStrToInt(NoteCount->text().toStdString(), value)) {
        NotesPerPart = value;
    }
}

void TComposeWin::ReDraw() {}

} // namespace sorvelin
