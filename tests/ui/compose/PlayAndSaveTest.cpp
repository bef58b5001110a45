// Play without an output, and Save MIDI and Save Score after the composition
// changed since the last Play: what each says, and what is saved.
#include "base/TextFile.h"
#include "output/DeviceModel.h"
#include "support/WindowTestSupport.h"
#include "ui/compose/Cmpwin.h"
#include "ui/explorer/Main.h"
#include "ui/explorer/MainPictures.h"
#include "ui/output/Mididevicewin.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace sorvelin;
using namespace sorvelin::testing;

class PlayAndSaveTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString Saved(const QString& name) const { return dir_.filePath(name); }

private slots:
    void saveMidiAsksOnceTheCompositionChangedAfterPlay() {
        MessageRecorder recorder;
        StartProgram(dir_.path());
        Drag(MainForm1->Image2, QPoint(20, 200), QPoint(225, 30), 4);
        ComposeWin->NoteCount->setText("8");
        QTest::mouseClick(MainForm1->Compose, Qt::LeftButton);
        QString target;
        ComposeWin->SetFileNameFunction([&](const FileRequest&) { return target; });

        // Without an open output Play renders and says so.
        QCOMPARE(MidiDevice->Model().CloseDevice(), 0);
        QVERIFY(!MidiDevice->Output().IsOpen());
        QTest::mouseClick(ComposeWin->PlayButton, Qt::LeftButton);
        QCOMPARE(recorder.messages.size(), std::size_t{1});
        QVERIFY(
            QString::fromStdString(recorder.messages[0].text).contains("The song was rendered"));
        QVERIFY(ComposeWin->PlayButton->isEnabled());

        // Save MIDI and Save Score alike. Unchanged since Play: saved without a
        // question. Changed: asked; Cancel saves nothing, Save writes the song
        // as played.
        const struct {
            QPushButton* button;
            const char* extension;
        } saves[] = {{ComposeWin->SaveButton2, ".mid"}, {ComposeWin->SaveScoreButton, ".musicxml"}};
        for (const auto& save : saves) {
            const QString extension = save.extension;
            ComposeWin->OoRButtons->button(0)->click();
            recorder.questions.clear();
            target = Saved("played" + extension);
            QTest::mouseClick(save.button, Qt::LeftButton);
            QVERIFY(recorder.questions.empty());
            const std::string played = ReadFileBytes(target.toStdString());
            QVERIFY(!played.empty());

            ComposeWin->OoRButtons->button(1)->click();
            const struct {
                bool answer;
                const char* name;
            } cases[] = {{false, "cancelled"}, {true, "as-played"}};
            for (const auto& c : cases) {
                recorder.questions.clear();
                recorder.answer = c.answer;
                target = Saved(c.name + extension);
                QTest::mouseClick(save.button, Qt::LeftButton);
                QCOMPARE(recorder.questions,
                         std::vector<std::string>{"The composition changed after the last Play. "
                                                  "Save the song as last played?"});
                QCOMPARE(QFile::exists(target), c.answer);
            }
            QCOMPARE(ReadFileBytes(Saved("as-played" + extension).toStdString()), played);
        }
        // A name ending in .mxl gives the compressed container.
        ComposeWin->OoRButtons->button(0)->click();
        target = Saved("played.mxl");
        QTest::mouseClick(ComposeWin->SaveScoreButton, Qt::LeftButton);
        QCOMPARE(ReadFileBytes(target.toStdString()).substr(0, 4), std::string("PK\3\4"));
        StopProgram();
    }
};

QTEST_MAIN(PlayAndSaveTest)
#include "PlayAndSaveTest.moc"
