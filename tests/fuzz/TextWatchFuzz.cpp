// The receiver's text during an erase run, delivered whole, byte by byte and cut where the input
// says. How the reads cut the text must not change what the run makes of it: the run ends with
// the read that completes "C04" or "C24", and by then it has seen exactly the words that the
// text up to that read holds ("Memory Alocation", "Download started", "Failed to write"),
// whichever reads they were split over. Without the full communication the log, too, shows
// the same text however it was cut. A read that is a receiver message as a whole is that
// message, not text, so an input whose cuts make one is only run, not compared. However the
// text is cut, each read costs the watch no more than its own length and a short tail.

#include "receiver/MessageTables.h"
#include "receiver/Rendering.h"
#include "tests/fuzz/FuzzWindow.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using namespace Fuzz;

namespace {

const std::string FailureLine =
    "Something goes wrong on writing data: maybe increase \"Send comand delay\"...";

// Pieces the input can name with one byte after 0xFE, so that the receiver's words come up
// often. 0xFE itself is one of them.
const std::string Pieces[] = {"Memory Alocation",
                              "Download started",
                              "Failed to write",
                              "C04",
                              "C24",
                              "\r\n",
                              "\n\r",
                              "AT\r",
                              std::string("\x02S000,0\x03", 8),
                              std::string("\002C046,"),
                              "\xFE"};
constexpr uint8_t PieceMark = 0xFE;
constexpr size_t LongestStream = 2048;
// What the watch searches again of the text before a chunk: a word cut by the read.
constexpr size_t SearchedTail = sizeof("Memory Alocation") - 2;

bool Contains(const std::string& text, const char* word) {
    return text.find(word) != std::string::npos;
}
bool HasEnd(const std::string& text) {
    return Contains(text, "C04") || Contains(text, "C24");
}

// What one delivery made of the text.
struct TOutcome {
    bool recognised = false; // a read was a receiver message
    bool ended = false;
    size_t consumed = 0; // bytes up to the end of the read that ended the run, or all
    bool allocation = false, download = false, failure = false;
    bool failureLine = false;
    bool watchdog = false;
    int32_t state = rsIdle;
    std::vector<std::string> lines; // the log from the run's command line on
    std::vector<TColor> colors;
};

// One window for the whole process, its port open on a frozen receiver.
TFuzzWindow* Window = nullptr;

// An erase run on the frozen receiver, fed `stream` in reads of the given lengths.
TOutcome Deliver(const std::string& stream, const std::vector<size_t>& reads, bool fullCom) {
    TReceiverDialogue& dialogue = Window->dialogue;
    TFuzzLog& log = Window->logs[ikFlash];
    Window->rec.fullCommunication = fullCom;
    log.Clear(); // the Flash page's clear button
    dialogue.ToolButton19Click();
    FUZZ_CHECK(dialogue.ReceiverState() == rsRunning);
    const int first = 0; // the command's line, alone in the log
    FUZZ_CHECK(log.LineCount() == 1);
    FUZZ_CHECK(log.Line(first).rfind("Sending cleanup string...", 0) == 0);

    TOutcome outcome;
    size_t at = 0;
    bool watched = false; // whether the watch has had a read of this run
    for (size_t length : reads) {
        const std::string read = stream.substr(at, length);
        at += read.size();
        if (read.empty())
            continue;
        if (MatchReceived(dialogue.ReceiveTable(), read.data(), int32_t(read.size())) != -1)
            outcome.recognised = true;
        const bool running = dialogue.ReceiverState() == rsRunning;
        const size_t searched = dialogue.RunTextSearched();
        const size_t lineBefore = log.LastLine().size();
        Window->Receive(read);
        // Each read costs the watch its own text and a short tail before it, however long the
        // line has grown; the first read also searches the line it continues.
        const size_t text = PlainText(read.data(), int(read.size())).size();
        FUZZ_CHECK(dialogue.RunTextSearched() - searched <=
                   text + (watched ? SearchedTail : std::max(SearchedTail, lineBefore)));
        watched = watched || running;
        if (running && dialogue.ReceiverState() != rsRunning && !outcome.ended) {
            outcome.ended = true;
            outcome.consumed = at;
            const int n = log.LineCount();
            outcome.failureLine = n >= 2 && log.Line(n - 2) == FailureLine;
        }
    }
    if (!outcome.ended)
        outcome.consumed = stream.size();
    outcome.allocation = dialogue.RunSawAllocation();
    outcome.download = dialogue.RunSawDownload();
    outcome.failure = dialogue.RunSawFailure();
    outcome.watchdog = Window->rec.TimerRunning(TRunTimer::Watchdog);
    outcome.state = dialogue.ReceiverState();
    for (int i = first; i < log.LineCount(); ++i) {
        outcome.lines.push_back(log.Line(i));
        outcome.colors.push_back(log.LineColor(i));
    }

    // Whatever is left of the run ends as the watchdog ends it, so that the next delivery
    // starts from the same frozen receiver; the receiver's answers are dropped.
    dialogue.Timer2Timer();
    FUZZ_CHECK(dialogue.ReceiverState() == rsFrozen);
    FUZZ_CHECK(Window->reports == 0);
    Window->rec.written.clear();
    Window->rec.asked.clear();
    return outcome;
}

// What the design promises of a delivery of a text with no receiver message among its reads.
void CheckOutcome(const TOutcome& outcome, const std::string& stream,
                  const std::vector<size_t>& reads) {
    const std::string text = PlainText(stream.data(), int(stream.size()));
    FUZZ_CHECK(outcome.ended == HasEnd(text));
    // The run ends with the first read after which the text holds an end.
    size_t end = 0;
    if (outcome.ended) {
        for (size_t length : reads) {
            end = std::min(stream.size(), end + length);
            if (HasEnd(PlainText(stream.data(), int(end))))
                break;
        }
        FUZZ_CHECK(outcome.consumed == end);
    }
    const std::string seen = PlainText(stream.data(), int(outcome.consumed));
    FUZZ_CHECK(outcome.allocation == Contains(seen, "Memory Alocation"));
    FUZZ_CHECK(outcome.download == Contains(seen, "Download started"));
    FUZZ_CHECK(outcome.failure == Contains(seen, "Failed to write"));
    FUZZ_CHECK(outcome.failureLine == (outcome.ended && outcome.failure));
    FUZZ_CHECK(outcome.watchdog == (!outcome.ended && outcome.allocation));
    FUZZ_CHECK(outcome.state == (outcome.ended ? rsFrozen : rsRunning));
}

// Whether a read ends between a line feed and the carriage return after it: the pair is one
// line break when read together, a line break and a space when read apart.
bool SplitsLineBreak(const std::string& stream, const std::vector<size_t>& reads) {
    size_t at = 0;
    for (size_t length : reads) {
        at += length;
        if (at > 0 && at < stream.size() && stream[at - 1] == '\n' && stream[at] == '\r')
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Cuts and words take room: inputs of a few hundred bytes from the start.
    DefaultFlags(argc, argv, {"-len_control=0", "-max_len=400"});
    Window = new TFuzzWindow;
    Window->rec.confirmLoading = false; // no confirmation before a run
    Window->SetLines(false, true);
    Window->rec.answers = {true}; // "Your receiver seems to be yet freeze": yes
    Window->ClickPortToggle(ikFlash);
    FUZZ_CHECK(Window->dialogue.ReceiverState() == rsFrozen);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // First byte: options; second: the number of cuts; then one byte per cut, the distance
    // from the cut before; then the text, in which 0xFE and a byte name a piece.
    if (size < 2)
        return 0;
    const bool fullCom = data[0] & 1;
    const size_t cutCount = data[1] % 64;
    if (size < 2 + cutCount)
        return 0;
    std::string stream;
    for (size_t i = 2 + cutCount; i < size && stream.size() < LongestStream; ++i) {
        if (data[i] == PieceMark && i + 1 < size)
            stream += Pieces[data[++i] % std::size(Pieces)];
        else
            stream += char(data[i]);
    }
    if (stream.empty())
        return 0;

    std::vector<size_t> cut;
    size_t at = 0;
    for (size_t i = 0; i < cutCount; ++i) {
        const size_t length = std::min(size_t(data[2 + i]), stream.size() - at);
        cut.push_back(length);
        at += length;
    }
    cut.push_back(stream.size() - at);
    const std::vector<size_t> whole{stream.size()};
    const std::vector<size_t> bytes(stream.size(), 1);

    const TOutcome inOne = Deliver(stream, whole, fullCom);
    const TOutcome inCuts = Deliver(stream, cut, fullCom);
    const TOutcome byByte = Deliver(stream, bytes, fullCom);
    if (inOne.recognised || inCuts.recognised)
        return 0; // a message is a message: the text around it is not the same text
    CheckOutcome(inOne, stream, whole);
    CheckOutcome(inCuts, stream, cut);
    CheckOutcome(byByte, stream, bytes);

    // Shown line by line, the receiver's text reads the same however it was cut, as long as
    // the run goes on (after its end every read is a line of its own).
    if (!fullCom && !inOne.ended) {
        if (!SplitsLineBreak(stream, cut)) {
            FUZZ_CHECK(inCuts.lines == inOne.lines);
            FUZZ_CHECK(inCuts.colors == inOne.colors);
        }
        if (!SplitsLineBreak(stream, bytes)) {
            FUZZ_CHECK(byByte.lines == inOne.lines);
            FUZZ_CHECK(byByte.colors == inOne.colors);
        }
    }
    return 0;
}
