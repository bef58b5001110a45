// How the explorer window answers while its picture is computed at iteration
// limit 20,000: the longest gap between two turns of the event loop (a 1 ms
// heartbeat timer), against the same heartbeat in an idle loop, and the time
// to the complete picture progressively against "Draw Now!" in the same run;
// then the gaps while the deep view (inside the set at the largest limit,
// "Always" checked, where one point takes seconds) is drawn, while a
// heavy Compose runs, and while a line is dragged with "Audition" ticked.
#include "app/StartUp.h"
#include "explorer/Renderer.h"
#include "sound/MidiOutCapture.h"
#include "ui/common/MessageBox.h"
#include "ui/compose/Cmpwin.h"
#include "ui/explorer/Main.h"
#include "ui/explorer/MainPictures.h"
#include "ui/output/Mididevicewin.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace sorvelin;

namespace {

constexpr int Runs = 3;
constexpr int HeartbeatMs = 1;
// How long the deep view is watched in each run.
constexpr int DeepMs = 2000;

struct Gaps {
    double longestMs = 0;
    double p99Ms = 0;
    double totalMs = 0;
};

// Records the gaps between heartbeats while it lives.
class Heartbeat {
public:
    Heartbeat() {
        clock_.start();
        last_ = clock_.nsecsElapsed();
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(HeartbeatMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            gaps_.push_back(static_cast<double>(now - last_) / 1e6);
            last_ = now;
        });
        timer_.start();
    }
    qint64 ElapsedMs() const { return clock_.elapsed(); }
    Gaps Stop() {
        timer_.stop();
        Gaps result;
        result.totalMs = static_cast<double>(clock_.nsecsElapsed()) / 1e6;
        if (!gaps_.empty()) {
            std::sort(gaps_.begin(), gaps_.end());
            result.longestMs = gaps_.back();
            result.p99Ms = gaps_[gaps_.size() * 99 / 100];
        }
        return result;
    }

private:
    std::vector<double> gaps_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    QTimer timer_;
};

// Runs the event loop until `done` holds, recording the gaps between heartbeats.
template <class Done> Gaps RunLoop(Done done, int minimumMs) {
    Heartbeat heartbeat;
    while (!done() || heartbeat.ElapsedMs() < minimumMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return heartbeat.Stop();
}

// "Draw Now!" of the same view on one thread, outside the window.
double SingleThreadDrawMs(const FractalIterator& engine) {
    Renderer renderer(ExplorerPictureSize, ExplorerPictureSize);
    renderer.RestartRendering();
    QElapsedTimer clock;
    clock.start();
    renderer.DrawNow(engine, 1);
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// "Draw Now!" after a Redraw, from the click to the complete picture.
Gaps DrawNowGaps(TMainForm1* w) {
    QTest::mouseClick(w->Redraw, Qt::LeftButton);
    Heartbeat heartbeat;
    QTest::mouseClick(w->Turbo, Qt::LeftButton);
    while (w->IdleRendering()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return heartbeat.Stop();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    SetMessageBoxFunction([](MessageKind, const std::string& text) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        std::exit(1);
    });
    QTemporaryDir settings;
    CreateWindows();
    TMainForm1* w = MainForm1;
    w->AppDir = settings.path().toStdString();
    w->show();
    w->Iteration->setText("20000");

    std::printf("explorer window at iteration limit 20000, start-up view, %d runs\n", Runs);
    double bestProgressive = 1e300;
    double bestDrawNow = 1e300;
    double bestSingle = 1e300;
    double worstGap = 0;
    double worstIdleGap = 0;
    for (int run = 0; run < Runs; ++run) {
        // Baseline: the heartbeat alone, for as long as the rendering will take.
        const Gaps idle = RunLoop([] { return true; }, 300);

        QTest::mouseClick(w->Redraw, Qt::LeftButton);
        const Gaps progressive = RunLoop([w] { return !w->IdleRendering(); }, 0);

        const Gaps drawNowGaps = DrawNowGaps(w);
        const double drawNow = drawNowGaps.totalMs;
        const double single = SingleThreadDrawMs(w->Engine());
        std::printf("run %d: progressive %.1f ms (longest loop gap %.2f ms, p99 %.2f ms; idle "
                    "loop longest %.2f ms), Draw Now! %.1f ms (longest loop gap %.2f ms; one "
                    "thread %.1f ms), ratio %.2f\n",
                    run + 1, progressive.totalMs, progressive.longestMs, progressive.p99Ms,
                    idle.longestMs, drawNow, drawNowGaps.longestMs, single,
                    progressive.totalMs / drawNow);
        worstGap = std::max(worstGap, drawNowGaps.longestMs);
        bestSingle = std::min(bestSingle, single);
        bestProgressive = std::min(bestProgressive, progressive.totalMs);
        bestDrawNow = std::min(bestDrawNow, drawNow);
        worstGap = std::max(worstGap, progressive.longestMs);
        worstIdleGap = std::max(worstIdleGap, idle.longestMs);
    }
    std::printf("longest event-loop gap while rendering: %.2f ms (idle loop: %.2f ms; goal < 20)\n",
                worstGap, worstIdleGap);
    std::printf("complete picture: progressive %.1f ms / Draw Now! %.1f ms = %.2f (goal <= 1.5)\n",
                bestProgressive, bestDrawNow, bestProgressive / bestDrawNow);
    std::printf("against Draw Now! on one thread: %.1f ms, ratio %.2f\n", bestSingle,
                bestProgressive / bestSingle);

    // The deep view: every point inside the set runs to 2147483647 steps.
    // The heartbeat's gaps while the window asks for it again and again
    // (the view change with "Always", then Redraw and "Draw Now!"), against
    // an idle loop of the same length.
    w->Iteration->setText("2147483647");
    w->Always->setChecked(true);
    double worstDeepGap = 0;
    double worstDeepP99 = 0;
    double worstDeepIdle = 0;
    for (int run = 0; run < Runs; ++run) {
        const Gaps idle = RunLoop([] { return true; }, DeepMs);
        w->MouseX->setText("-0.1");
        w->MouseY->setText("0.05");
        w->RectWidth->setText("0.01");
        w->RectHeight->setText("0.01");
        Heartbeat heartbeat;
        QTest::mouseClick(w->ZoomIn, Qt::LeftButton);
        for (QPushButton* again : {w->Redraw, w->Turbo}) {
            const qint64 until = heartbeat.ElapsedMs() + DeepMs / 2;
            while (heartbeat.ElapsedMs() < until) {
                QCoreApplication::processEvents(QEventLoop::AllEvents);
            }
            QTest::mouseClick(again, Qt::LeftButton);
        }
        const Gaps deep = heartbeat.Stop();
        std::printf("deep run %d: longest loop gap %.2f ms, p99 %.2f ms (idle loop longest %.2f "
                    "ms)\n",
                    run + 1, deep.longestMs, deep.p99Ms, idle.longestMs);
        worstDeepGap = std::max(worstDeepGap, deep.longestMs);
        worstDeepP99 = std::max(worstDeepP99, deep.p99Ms);
        worstDeepIdle = std::max(worstDeepIdle, idle.longestMs);
    }
    std::printf("longest event-loop gap while drawing the deep view at limit 2147483647: %.2f ms, "
                "p99 %.2f ms (idle loop: %.2f ms; goal < 50)\n",
                worstDeepGap, worstDeepP99, worstDeepIdle);
    w->Always->setChecked(false);
    w->Iteration->setText("20000");
    QTest::mouseClick(w->Reset, Qt::LeftButton);

    // Compose of the heavy song (16 x 2,000 values at limit 20,000 on a line
    // through the set) from the button, which returns when the series are
    // done; the heartbeat runs in the loop the window turns meanwhile.
    ComposeWin->NoteCount->setText("2000");
    QTest::mousePress(w->Image2, Qt::LeftButton, Qt::NoModifier, QPoint(10, 125));
    QTest::mouseMove(w->Image2, QPoint(200, 110));
    QTest::mouseRelease(w->Image2, Qt::LeftButton, Qt::NoModifier, QPoint(200, 110));
    double worstComposeGap = 0;
    double worstComposeP99 = 0;
    double worstIdle = 0;
    for (int run = 0; run < Runs; ++run) {
        const Gaps idle = RunLoop([] { return true; }, 300);
        Heartbeat heartbeat;
        QTest::mouseClick(w->Compose, Qt::LeftButton);
        const Gaps compose = heartbeat.Stop();
        std::printf("compose run %d: %.1f ms, longest loop gap %.2f ms, p99 %.2f ms (idle loop "
                    "longest %.2f ms)\n",
                    run + 1, compose.totalMs, compose.longestMs, compose.p99Ms, idle.longestMs);
        worstComposeGap = std::max(worstComposeGap, compose.longestMs);
        worstComposeP99 = std::max(worstComposeP99, compose.p99Ms);
        worstIdle = std::max(worstIdle, idle.longestMs);
    }
    std::printf("longest event-loop gap while composing: %.2f ms, p99 %.2f ms (idle loop: %.2f "
                "ms; goal < 50)\n",
                worstComposeGap, worstComposeP99, worstIdle);

    // Auditioning: the line's end dragged across the picture, a move every
    // 5 ms for a second, at the song's note count and limit of each case;
    // the auditions counted by the silencing that starts each.
    w->Audition->setChecked(true);
    auto& capture = static_cast<CaptureMidiOut&>(MidiDevice->Service());
    const struct {
        const char* limit;
        const char* notes;
    } cases[] = {{"200", "200"}, {"20000", "2000"}};
    for (const auto& c : cases) {
        w->Iteration->setText(c.limit);
        ComposeWin->NoteCount->setText(c.notes);
        double worstAuditionGap = 0;
        double worstAuditionIdle = 0;
        double mostPerSecond = 0;
        for (int run = 0; run < Runs; ++run) {
            const Gaps idle = RunLoop([] { return true; }, 1000);
            capture.ClearMessages();
            QTest::mousePress(w->Image2, Qt::LeftButton, Qt::NoModifier, QPoint(10, 125));
            Heartbeat heartbeat;
            for (int step = 1; step <= 200; ++step) {
                while (heartbeat.ElapsedMs() < 5 * step) {
                    QCoreApplication::processEvents(QEventLoop::AllEvents);
                }
                QTest::mouseMove(w->Image2, QPoint(10 + step, 125 - step / 2));
            }
            const Gaps dragged = heartbeat.Stop();
            QTest::mouseRelease(w->Image2, Qt::LeftButton, Qt::NoModifier, QPoint(210, 25));
            const auto messages = capture.Messages();
            const auto auditions =
                std::count_if(messages.begin(), messages.end(), [](const auto& m) {
                    return m.bytes.size() == 3 && m.bytes[0] == 0xB0 && m.bytes[1] == 120;
                });
            const double perSecond = static_cast<double>(auditions) * 1000.0 / dragged.totalMs;
            std::printf("audition at limit %s, %s notes, run %d: %lld auditions in %.0f ms (%.1f a "
                        "second), longest loop gap %.2f ms, p99 %.2f ms (idle loop longest %.2f "
                        "ms)\n",
                        c.limit, c.notes, run + 1, static_cast<long long>(auditions),
                        dragged.totalMs, perSecond, dragged.longestMs, dragged.p99Ms,
                        idle.longestMs);
            worstAuditionGap = std::max(worstAuditionGap, dragged.longestMs);
            worstAuditionIdle = std::max(worstAuditionIdle, idle.longestMs);
            mostPerSecond = std::max(mostPerSecond, perSecond);
        }
        std::printf("longest event-loop gap while auditioning at limit %s, %s notes: %.2f ms (idle "
                    "loop: %.2f ms; goal < 50), at most %.1f auditions a second (goal <= 20)\n",
                    c.limit, c.notes, worstAuditionGap, worstAuditionIdle, mostPerSecond);
    }
    w->Audition->setChecked(false);
    DestroyWindows();
    return 0;
}
