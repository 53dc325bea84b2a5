// The run's text watch on a line the receiver never ends, and what a run's log costs in memory.
//   BM_ChunkAfterLongText/<full>/<length>: one 64-byte chunk of receiver text received during a
//     run whose text is already <length> bytes long without a line feed: the text watch alone,
//     with the log's own layout of the change but not the repaint that follows (the page log's
//     benchmark has that); <full> 1: "Show full comunication" ticked (the chunk is a log line
//     of its own and the run's text grows apart), 0: unticked (the chunk extends the log's last
//     line). Counter searched/chunk: bytes the watch searched for the receiver's words per
//     chunk.
//   BM_RunMemoryPerLine/<full>: 20,000 receiver lines ("Writing 37%" and CR LF), one chunk
//     each, during a run: heap in use (mallinfo2) grown, per log line added.
// Run: QT_QPA_PLATFORM=offscreen build/bench/run_text_bench

#include "app/LogEdit.h"
#include "app/SDIAppForm.h"
#include "app/SettingsStore.h"
#include "bench/BenchDialogs.h"
#include "receiver/ExternalWindows.h"

#include <QApplication>
#include <QCheckBox>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <memory>
#include <string>

namespace {

// No transfer program: the runs here are fed their text directly.
class TNoWindows final : public TExternalWindows {
public:
    bool WinExec(const std::string&, int) override { return false; }
    std::string StartFailure() const override { return {}; }
    HWND GetForegroundWindow() override { return 0; }
    bool CloseWindow(HWND) override { return false; }
    HWND GetNextDlgTabItem(HWND, HWND, bool) override { return 0; }
    intptr_t SendMessage(HWND, uint32_t, uintptr_t, intptr_t) override { return 0; }
    bool IsWindow(HWND) override { return false; }
    void SetClipboardText(const std::string&) override {}
    void Sleep(int) override {}
};

// A shown main window, its port never opened, whose text watch is fed directly, as
// DecRxChar feeds it each chunk it does not recognise.
struct TRunWindow {
    explicit TRunWindow(bool fullCommunication) {
        form.findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->setChecked(fullCommunication);
        form.show();
        log->Clear();
        log->Append("Sending cleanup string...");
        QApplication::processEvents();
    }
    void Receive(const std::string& chunk) {
        log->SetColor(clTeal);
        form.Dialogue().TextWatch(log, chunk.data(), int32_t(chunk.size()));
    }

    QTemporaryDir folder;
    TNoDialogs dialogs;
    TSettingsStore settings{folder.filePath(QStringLiteral("VellWriter.conf"))};
    TNoWindows windows;
    TServices services{dialogs, settings, windows,
                       [](std::vector<std::string>& list) { list = {"bench0"}; }};
    TSDIAppForm form{services};
    TLogEdit* log = form.Logs()[0];
};

void BM_ChunkAfterLongText(benchmark::State& state) {
    TRunWindow window(state.range(0) != 0);
    const std::string block(4096, 'x');
    for (int64_t length = 0; length < state.range(1); length += int64_t(block.size()))
        window.Receive(block);
    QApplication::processEvents();
    const std::string chunk(64, '.');
    const size_t searched = window.form.Dialogue().RunTextSearched();
    for (auto _ : state)
        window.Receive(chunk);
    QApplication::processEvents();
    state.counters["searched/chunk"] =
        double(window.form.Dialogue().RunTextSearched() - searched) / double(state.iterations());
}

void BM_RunMemoryPerLine(benchmark::State& state) {
    for (auto _ : state) {
        TRunWindow window(state.range(0) != 0);
        TLogEdit* log = window.log;
        const int linesBefore = log->LineCount();
        const int charsBefore = log->document()->characterCount();
        malloc_trim(0);
        const double heapBefore = double(mallinfo2().uordblks);
        for (int i = 0; i < 20000; ++i)
            window.Receive("Writing " + std::to_string(i % 100) + "%\r\n");
        QApplication::processEvents();
        const double lines = log->LineCount() - linesBefore;
        state.counters["heap/line"] = (double(mallinfo2().uordblks) - heapBefore) / lines;
        state.counters["chars/line"] = (log->document()->characterCount() - charsBefore) / lines;
        state.counters["lines"] = lines;
    }
}

BENCHMARK(BM_ChunkAfterLongText)
    ->Args({1, 1024})
    ->Args({1, 262144})
    ->Args({1, 1048576})
    ->Iterations(500)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChunkAfterLongText)
    ->Args({0, 1024})
    ->Args({0, 16384})
    ->Args({0, 262144})
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunMemoryPerLine)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
