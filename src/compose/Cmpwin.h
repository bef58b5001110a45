#pragma once
// The composition window. For now only what the explorer needs from it: the
// note count the series are sampled with, ReDraw after every Compose, and
// the window itself. Scales, rhythms, the score and playback join it later.
#include <QWidget>

class QLineEdit;

namespace sorvelin {

class TComposeWin : public QWidget {
    Q_OBJECT
public:
    explicit TComposeWin(QWidget* parent = nullptr);

    // Notes per part of the next Compose.
    int GetNoteCount() const { return NotesPerPart; }

    QLineEdit* NoteCount = nullptr;

public slots:
    // Rebuilds the score from the main window's series.
    void ReDraw();

private:
    void NoteCountChange();

    int NotesPerPart = 200;
};

extern TComposeWin* ComposeWin;

} // namespace sorvelin
