// Live view in the window program: the real Live image view (Qt, offscreen by default) against
// fotolyx-camsim over a pseudo-terminal at 115200 baud for 30 s, once left alone and once with
// the window repainted and activated every 100 ms. Frames per second are printed as a fraction
// of the line's ceiling: a frame is 60 packets of 116 bytes, 59 ACKs and its LIVE_START, every
// byte back to back.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEvent>
#include <QMdiArea>
#include <vector>

#include "gui/live_image_view.h"
#include "gui_bench_session.h"

namespace {

using namespace fotolyx;
using bench::Clock;

constexpr auto RUN_TIME = std::chrono::seconds(30);
constexpr int DISTURB_EVERY_MS = 100;
// Frames are timed to within this (a frame takes 609 ms at best).
constexpr int WATCH_EVERY_MS = 5;
constexpr double LIVE_FRAME_BYTES = 60 * 116 + 59 + 1;
constexpr double FRAME_CEILING_SECONDS = LIVE_FRAME_BYTES * bench::BITS_PER_BYTE / bench::BAUD;

void RunLiveView(benchmark::State& state, bool disturbed) {
    for (auto _ : state) {
        // --stats: the camera prints the time the program took to answer each of its packets.
        bench::GuiBenchSession session({"--pictures", "2", "--stats"});
        Program& program = session.program();
        gui::FrameWindow& frame = session.gui().frame();
        if (!session.CameraStarted() || !bench::RunUntil(
                                            [&] {
                                                return program.indexTransfer.index.IndexLoaded &&
                                                       frame.StatusText() ==
                                                           QLatin1String(TEXT_READY);
                                            },
                                            std::chrono::seconds(60))) {
            state.SkipWithError("no camera");
            return;
        }
        gui::ChildFrame* liveFrame = frame.LiveImageFrame();
        auto* view = static_cast<gui::LiveImageView*>(liveFrame->Child());
        frame.MdiArea()->setActiveSubWindow(liveFrame);

        // The times at which frames were complete.
        std::vector<Clock::time_point> frames;
        QTimer watch;
        std::uint32_t seen = program.live.framesCompleted;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (program.live.framesCompleted != seen) {
                seen = program.live.framesCompleted;
                frames.push_back(Clock::now());
            }
        });
        watch.start(WATCH_EVERY_MS);
        // What a busy desktop does to the window: paints of the whole window and its buttons,
        // activation of the frame and of the window, the mouse going over it.
        QTimer disturb;
        QObject::connect(&disturb, &QTimer::timeout, [&] {
            view->repaint();
            for (const int id : {LIVE_BUTTON_PREVIEW, LIVE_BUTTON_PHOTO}) {
                view->Button(id)->repaint();
            }
            QEvent activate(QEvent::WindowActivate);
            QCoreApplication::sendEvent(liveFrame, &activate);
            QCoreApplication::sendEvent(view, &activate);
            view->Activated(frame, true);
            QEvent enter(QEvent::Enter);
            QCoreApplication::sendEvent(view, &enter);
            frame.MdiArea()->setActiveSubWindow(liveFrame);
        });
        if (disturbed) {
            disturb.start(DISTURB_EVERY_MS);
        }

        program.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
        program.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, false);
        session.gui().AfterEvent();
        bench::RunFor(RUN_TIME);
        disturb.stop();
        watch.stop();
        program.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, true);

        if (frames.size() < 2) {
            state.SkipWithError("live view did not run");
            return;
        }
        // From the first complete frame to the last, so that the start does not count.
        const double seconds =
            std::chrono::duration<double>(frames.back() - frames.front()).count();
        const double framesPerSecond = static_cast<double>(frames.size() - 1) / seconds;
        state.counters["frames"] = static_cast<double>(frames.size());
        state.counters["frames_per_second"] = framesPerSecond;
        state.counters["ceiling_frames_per_second"] = 1.0 / FRAME_CEILING_SECONDS;
        state.counters["fraction_of_ceiling"] = framesPerSecond * FRAME_CEILING_SECONDS;
    }
}

void BM_GuiLiveViewQuiet(benchmark::State& state) {
    RunLiveView(state, false);
}
BENCHMARK(BM_GuiLiveViewQuiet)->Iterations(1)->Unit(benchmark::kSecond);

void BM_GuiLiveViewRepaintedAndActivatedEvery100Ms(benchmark::State& state) {
    RunLiveView(state, true);
}
BENCHMARK(BM_GuiLiveViewRepaintedAndActivatedEvery100Ms)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    const auto application = bench::MakeApplication(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
