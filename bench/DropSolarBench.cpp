// One frame of the light design, all four passes, at the top window's size (560x340 points at
// 2x, so 1120x680 pixels) on the test desktop's OpenGL, finished before the clock stops. On a
// machine without a graphics processor (Mesa's software renderer, LIBGL_ALWAYS_SOFTWARE=1)
// this is the processor time the drop costs per frame while a user speaks. Run inside
// scripts/desktop-session; --benchmark_repetitions gives the spread, and the median and p99
// of the frames are reported as counters.
#include "presence/SolarPasses.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

using namespace murmelo;

void BM_SolarFrameTop2x(benchmark::State& state) {
    if (!DropGraphics::shared().ready() || !DropGraphics::shared().makeCurrent()) {
        state.SkipWithError("needs OpenGL 3.3 (scripts/desktop-session)");
        return;
    }
    const QSize size(1120, 680);
    {
        SolarPasses passes;
        Gl::RenderTarget out;
        out.create(size, Gl::TargetFormat::rgba8);
        // A speaking user: the light fully out, the voice moving, motes flying.
        SolarUniforms u;
        u.scale = 2;
        u.reveal = 1;
        u.levelFast = 0.35f;
        std::vector<double> frames;
        float time = 0;
        for (auto _ : state) {
            u.time = time += 1.0f / 60;
            QElapsedTimer t;
            t.start();
            passes.render(u, false, out.framebuffer(), size);
            QOpenGLContext::currentContext()->functions()->glFinish();
            const double seconds = t.nsecsElapsed() / 1e9;
            frames.push_back(seconds);
            state.SetIterationTime(seconds);
        }
        std::sort(frames.begin(), frames.end());
        if (!frames.empty()) {
            state.counters["median_ms"] = frames[frames.size() / 2] * 1e3;
            state.counters["p99_ms"] = frames[std::min(frames.size() - 1, frames.size() * 99 / 100)] * 1e3;
        }
    }
    DropGraphics::shared().context()->doneCurrent();
}
BENCHMARK(BM_SolarFrameTop2x)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
