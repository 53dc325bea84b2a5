// How fast a page log takes new lines once it already holds many: a write with full
// communication shown appends a line per received chunk for minutes, and the UI thread must
// keep up. Run: QT_QPA_PLATFORM=offscreen build/bench/log_append_bench

#include "app/LogEdit.h"
#include "receiver/LogColors.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

const std::string FullLine =
    "Received start string...[AT. (3 bytes: 41 54 0D )] Download 0042% .C042,5. (8 bytes: 02 43 "
    "30 34 32 2C 35 03 )";

std::unique_ptr<TLogEdit> FilledLog(int64_t lines) {
    auto log = std::make_unique<TLogEdit>();
    log->resize(480, 260);
    log->show();
    for (int64_t i = 0; i < lines; ++i) {
        log->SetColor(i % 2 ? clTeal : clNavy);
        log->Append(FullLine);
    }
    QApplication::processEvents();
    return log;
}

// Append a line, then let the window repaint as the message loop would after each chunk.
void BM_AppendLine(benchmark::State& state) {
    auto log = FilledLog(state.range(0));
    for (auto _ : state) {
        log->SetColor(clTeal);
        log->Append(FullLine);
        QApplication::processEvents();
    }
    state.counters["lines/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["lines"] = double(log->LineCount());
}

// A running write without full communication extends its last line with each chunk.
void BM_ExtendLastLine(benchmark::State& state) {
    auto log = FilledLog(state.range(0));
    std::string line = "Download started";
    for (auto _ : state) {
        log->DeleteLine(log->LineCount() - 1);
        line += ".";
        if (line.size() > 200)
            line.resize(16);
        log->Append(line);
        QApplication::processEvents();
    }
    state.counters["lines/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// A fixed count: the first lines into a quiet log cost less than the ones after them, and an
// estimate from those would run a hundred times more lines than wanted, growing the log tenfold.
BENCHMARK(BM_AppendLine)->Arg(1000)->Arg(100000)->Iterations(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExtendLastLine)
    ->Arg(1000)
    ->Arg(100000)
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
