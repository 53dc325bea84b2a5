// The receiver dialogue following the receiver under any order of what can happen to it:
// chunks from the line (the receiver's messages, the words of a run, anything), the DSR and
// RLSD lines, the user's buttons on the page in front, the options on the Configuration page,
// the timers expiring, a pulled adapter, a port that will not open, a transfer program that
// does not come up. The dialogue runs in a window that records what it
// does and plays the port and its lamps (FuzzWindow.h); the buttons are those of the window,
// clickable while their tool bar is enabled. After every step the whole must hold together:
//
// - the receiver state is idle, running or frozen, and the run buttons are always enabled when
//   frozen and disabled when idle; a tool bar is disabled, and the transfer program open, only
//   while a run goes on or its watchdog is still to end it: a receiver that starts over or
//   switches off ends an unwatched run;
// - the port toggles, the choose-file buttons and the connection, DSR and RLSD lamps follow
//   the port;
// - each step moves the state as the dialogue defines it, and writes to the line exactly the
//   command strings that step answers or starts with; a run whose transfer program is not up
//   sends nothing and says so;
// - a page change is refused during a run; no handler fails unless the port is closed, missing
//   or unplugged, and then only with the port's error;
// - a click on the port toggle that a lamp lets through while it shows a report (the lamps run
//   the window's pending events) closes the port in the middle of the port's notifications;
// - the window's teardown, its logs gone first, finds the dialogue's handlers coping.

#include "receiver/ImageFileCheck.h"
#include "receiver/Rendering.h"
#include "tests/fuzz/FuzzWindow.h"

#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <cerrno>
#include <string>

using namespace Fuzz;

namespace {

// The receiver's three messages.
const std::string StartString = "AT\r";
const std::string FreezeAck = std::string("\x02S000,0\x03", 8);
const std::string CodeGeneration = std::string("\002C046,");
// Chunks the input names with one byte: the messages, and the receiver's words during a run.
const std::string Pieces[] = {StartString,
                              FreezeAck,
                              CodeGeneration,
                              "Memory Alocation",
                              "Download started",
                              "Failed to write",
                              "C04",
                              "C2",
                              "4",
                              "\r\n",
                              "Writing 50%"};

// What the tool writes: the answer to the start string, and the command of each kind of run
// (FLASH, FIRMWARE, EEPROM, erase).
const std::string StartAnswer = "STX,EF81DD51,ETX";
const std::string RunCommands[] = {std::string("\002C042,5\003"), std::string("\002C246,2\003"),
                                   std::string("\002C043,5\003"), std::string("\002C044,2\003")};
constexpr int EraseKind = 3;

const char* const FreezeHint =
    "You turned on receiver but the software don't freeze it. If you want to freeze it next "
    "time you turn on without selecting a file, select the option \"Always freeze\" from "
    "configuration...";

constexpr int ConfigurationPage = 3;
constexpr size_t LongestSession = 400; // steps of one input

// Image files of each kind's usual size and two more, made once and readable: they never
// change, so a run finds each as it was chosen.
constexpr std::array<qint64, 5> ImageSizes = {524288, 1024000, 4096, 1000, 2000000};
struct TImages {
    TImages() {
        for (size_t i = 0; i < ImageSizes.size(); ++i) {
            paths[i] = folder.filePath(QStringLiteral("image%1.bin").arg(i));
            QFile file(paths[i]);
            FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.resize(ImageSizes[i]));
            file.close();
            FUZZ_CHECK(TPosixImageFiles().Measure(paths[i].toStdString()).problem.empty());
        }
    }
    QTemporaryDir folder;
    std::array<QString, ImageSizes.size()> paths;
};
TImages* Images = nullptr;

// Whether a file of this size is taken for the page's kind without a question.
bool UsualSize(int kind, qint64 size) {
    return kind == ikFlash ? size == 524288 : kind == ikFirmware ? size >= 1024000 : size <= 4096;
}

bool Contains(const std::string& text, const char* word) {
    return text.find(word) != std::string::npos;
}

std::string LastLine(const TLog* log) {
    return log->LineCount() > 0 ? log->Line(log->LineCount() - 1) : std::string();
}

class TSession {
public:
    TSession(const uint8_t* data, size_t size) : m_data(data), m_size(size) { CheckWhole(); }

    void Run() {
        for (size_t step = 0; step < LongestSession && m_at < m_size; ++step) {
            // Two answers for the boxes this step may show, Yes once they are used up; and how
            // the transfer program behaves if this step starts it.
            const uint8_t setting = Next();
            w.rec.answers.clear(); // keeps its storage
            w.rec.answers.push_back(setting & 1);
            w.rec.answers.push_back(setting & 2);
            const uint8_t program = (setting >> 2) & 7;
            w.windows.behaviour = program < 3 ? TProgram(program + 1) : TProgram::Works;
            w.windows.startFailure = setting & 0x20 ? "No such file or directory." : "";
            const uint8_t action = Next();
            if (m_trace)
                std::fprintf(stderr, "step %u, from state %d on page %d, port %s\n", action % 16,
                             State(), Page(), Connected() ? "open" : "closed");
            if (!Step(action))
                break; // the window was closed
            w.Settle();
            CheckWhole();
        }
        w.TearDown();
    }

private:
    // --- Input ----------------------------------------------------------------------------
    uint8_t Next() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::string NextChunk() {
        const uint8_t pick = Next();
        if (pick % 4 != 0)
            return Pieces[size_t(pick / 4) % std::size(Pieces)];
        std::string bytes;
        for (size_t n = Next() % 12 + 1; n > 0; --n)
            bytes += char(Next());
        return bytes;
    }

    // --- What the window shows ---------------------------------------------------------------
    TReceiverDialogue& Dialogue() { return w.dialogue; }
    int32_t State() const { return w.dialogue.ReceiverState(); }
    bool Connected() const { return w.rec.connected; }
    int Page() const { return w.rec.activePage; }
    // A button on a page's tool bar, enabled on its own.
    bool Clickable(int page, bool enabled = true) const {
        return enabled && w.rec.toolBarEnabled[size_t(page)];
    }
    // The answer the next box gets.
    bool NextAnswer() const { return w.rec.answers.empty() || w.rec.answers.front(); }
    bool SecondAnswer() const { return w.rec.answers.size() < 2 || w.rec.answers[1]; }
    // Whether the port could fail now: closed, its device missing, or unplugged.
    bool PortMayFail() const {
        return w.unplugged || !Connected() || w.rec.portName == MissingPort;
    }

    // --- Checks after every step --------------------------------------------------------------
    void CheckWhole() {
        const TRecordingWindow& rec = w.rec;
        const TReceiverDialogue& dialogue = w.dialogue;
        const int32_t state = State();
        FUZZ_CHECK(state == rsIdle || state == rsRunning || state == rsFrozen);

        // The six run buttons take one call, so they go together.
        FUZZ_CHECK(state != rsFrozen || rec.runButtonsEnabled);
        FUZZ_CHECK(state != rsIdle || !rec.runButtonsEnabled);
        const int32_t toolBar = dialogue.RunToolBar();
        FUZZ_CHECK(toolBar >= -1 && toolBar <= ikEeprom);
        if (state == rsRunning)
            FUZZ_CHECK(toolBar != -1 && !rec.toolBarEnabled[size_t(toolBar)]);
        if (state != rsRunning && !rec.TimerRunning(TRunTimer::Watchdog)) {
            // Only a run disables a tool bar: none may stay disabled with nothing to end it.
            for (const bool enabled : rec.toolBarEnabled)
                FUZZ_CHECK(enabled);
            FUZZ_CHECK(!w.windows.IsWindow(dialogue.ExternalWindow()));
        }

        const bool connected = Connected();
        FUZZ_CHECK(rec.togglesDown == connected && rec.togglesShowOpen == connected);
        FUZZ_CHECK(rec.chooseEnabled == connected);
        FUZZ_CHECK(w.connLamp == connected);
        if (!w.unplugged) {
            FUZZ_CHECK(w.dsrLamp == (connected && w.dsrLine));
            FUZZ_CHECK(w.rlsdLamp == (connected && w.rlsdLine));
        }

        // Every byte on the line was written by a step that was to write it.
        FUZZ_CHECK(rec.written.empty());
        FUZZ_CHECK(w.pendingClick == -1);
        FUZZ_CHECK(dialogue.SelectedKind() >= ikNone && dialogue.SelectedKind() <= ikEeprom);
    }

    // Checks one step's effect: the state it leads to, the bytes it wrote, the boxes it showed.
    struct TBefore {
        size_t reports, questions;
        bool mayFail;
    };
    TBefore Before() const { return {w.reports, w.rec.asked.size(), PortMayFail()}; }
    void Expect(const TBefore& before, int32_t state, const std::string& sent, size_t questions) {
        const std::string written = std::move(w.rec.written);
        w.rec.written.clear();
        const bool failed = w.reports != before.reports;
        FUZZ_CHECK(!failed || before.mayFail || PortMayFail());
        if (failed)
            return; // a failure ends the handler where it happened
        FUZZ_CHECK(State() == state);
        FUZZ_CHECK(written == sent);
        FUZZ_CHECK(w.rec.asked.size() - before.questions == questions);
    }

    // --- Steps --------------------------------------------------------------------------------
    bool Step(uint8_t action) {
        switch (action % 16) {
        case 0:
        case 1:
        case 2:
        case 3: Receive(NextChunk()); break;
        case 4:
            // The receiver starts and, answered, acknowledges its freeze.
            Receive(StartString);
            CheckWhole();
            Receive(FreezeAck);
            break;
        case 5: Lines(Next()); break;
        case 6: Toggle(Next()); break;
        case 7: Choose(Next()); break;
        case 8: Program(); break;
        case 9: Erase(); break;
        case 10: Tick(Next()); break;
        case 11: ChangePage(Next()); break;
        case 12: Configure(Next()); break;
        case 13: ClearLog(); break;
        case 14:
            // A file of the page's kind, then its program button.
            Choose(uint8_t(Page()));
            CheckWhole();
            Program();
            break;
        default: return Rare(Next());
        }
        return true;
    }

    // The driver's received-characters event. A closed port raises none.
    void Receive(const std::string& chunk) {
        if (!Connected())
            return;
        TReceiverDialogue& dialogue = Dialogue();
        const TBefore before = Before();
        const int32_t state = State();
        const TLog* log = dialogue.KindLog();
        const int lines = log->LineCount();
        // What a run's text continues: the whole of it with the full communication shown, else
        // the log's last line.
        const std::string runText = state != rsRunning        ? std::string()
                                    : w.rec.fullCommunication ? dialogue.RunText()
                                                              : LastLine(log);
        const bool alwaysFreeze = w.rec.alwaysFreeze;
        const bool confirm = w.rec.confirmLoading;
        const bool answer = NextAnswer();
        const int32_t kind = dialogue.SelectedKind();

        w.Receive(chunk);
        if (w.unplugged)
            return;

        if (chunk == StartString) {
            Expect(before, rsIdle, alwaysFreeze ? StartAnswer : "", 0);
            FUZZ_CHECK(log->Line(0).rfind("Received start string...", 0) == 0);
        } else if (chunk == FreezeAck && state == rsIdle && alwaysFreeze) {
            // Frozen: a run starts at once when an image is chosen and confirmed.
            const bool image = kind >= ikFlash && kind <= ikEeprom;
            const bool run = image && (!confirm || answer);
            const bool sent = run && !ProgramFails(kind);
            Expect(before, sent ? rsRunning : rsFrozen, sent ? RunCommands[kind] : "",
                   image && confirm ? 1 : 0);
            if (run && !sent)
                CheckUnsentRun(before);
        } else if (chunk == FreezeAck || chunk == CodeGeneration) {
            Expect(before, state, "", 0);
            const std::string last = LastLine(log);
            if (state == rsIdle && alwaysFreeze)
                FUZZ_CHECK(last.rfind("Receiver send code generation...", 0) == 0);
            else if (state == rsIdle)
                FUZZ_CHECK(last == FreezeHint);
            else
                FUZZ_CHECK(log->LineCount() == lines); // neither logged nor answered
        } else if (state == rsRunning) {
            // The run's text: it ends the run once it holds "C04" or "C24".
            const std::string text = runText + PlainText(chunk.data(), int(chunk.size()));
            const bool end = Contains(text, "C04") || Contains(text, "C24");
            Expect(before, end ? rsFrozen : rsRunning, "", 0);
            if (end)
                FUZZ_CHECK(LastLine(log) == "Now your receiver can start a new download...");
        } else {
            Expect(before, state, "", 0);
            FUZZ_CHECK(log->LineCount() > lines);
        }
    }

    // The receiver sets DSR and RLSD; the driver reports the lines that changed.
    void Lines(uint8_t bits) {
        const bool dsr = bits & 1, rlsd = bits & 2;
        const bool changed = dsr != w.dsrLine || rlsd != w.rlsdLine;
        // Switched on (DSR on) or off (RLSD off): waiting for the receiver again.
        const bool turned = (dsr && !w.dsrLine) || (!rlsd && w.rlsdLine);
        const TBefore before = Before();
        const int32_t state = State();
        const bool connected = Connected();
        const bool click = (bits & 4) && connected && changed && QueueClick();
        w.SetLines(dsr, rlsd);
        if (w.unplugged)
            return;
        if (click) {
            // The first lamp to show the change let the click through: the port closed there.
            Expect(before, rsIdle, "", 0);
            FUZZ_CHECK(!Connected());
            return;
        }
        Expect(before, connected && turned ? rsIdle : state, "", 0);
        if (connected && turned)
            FUZZ_CHECK(!w.rec.runButtonsEnabled);
    }

    // A second click on the port toggle of the page in front, made while the window is busy:
    // the first lamp to show a report of the port lets it through. False when there is no
    // toggle to click.
    bool QueueClick() {
        if (Page() == ConfigurationPage || !Clickable(Page()))
            return false;
        w.pendingClick = Page();
        return true;
    }

    // The port toggle of the page in front; clicked twice when the input says, the second
    // click let through by a lamp while the first one's open or close reports to it. The input
    // also says why the missing port will not open.
    void Toggle(uint8_t how) {
        if (Page() == ConfigurationPage)
            return;
        const bool twice = how & 1;
        static const struct {
            const char* call;
            int err;
        } failures[] = {{"open", ENOENT},       {"open", EACCES},   {"open", ENXIO},
                        {"flock", EWOULDBLOCK}, {"isatty", ENOTTY}, {"owner", EACCES},
                        {"open", EIO},          {"open", 0}};
        const auto& failure = failures[(how >> 1) % std::size(failures)];
        w.missingCall = failure.call;
        w.missingErr = failure.err;
        const TLog* log = Dialogue().ActivePageLog();
        const int lines = log->LineCount();
        const TBefore before = Before();
        const int32_t state = State();
        const bool clickable = Clickable(Page());
        const bool connected = Connected();
        const bool answer = NextAnswer();
        const bool second = twice && QueueClick();
        w.ClickPortToggle(Page());
        w.Settle(); // a second click no lamp let through comes now
        if (w.unplugged)
            return;
        if (second) {
            // Opened, the port closes at the connection lamp's report; closing, the second
            // click is that close. Either way it ends closed, the lines read off.
            Expect(before, rsIdle, "", 0);
            FUZZ_CHECK(!Connected());
            return;
        }
        if (!clickable) {
            Expect(before, state, "", 0);
        } else if (connected) {
            Expect(before, rsIdle, "", 0); // the lines read off at close
            FUZZ_CHECK(!Connected());
        } else if (Connected()) {
            // The lines' first reports, then the question for a receiver held in its loader.
            const bool frozenLines = w.rlsdLine && !w.dsrLine;
            Expect(before,
                   !frozenLines ? rsIdle
                   : answer     ? rsFrozen
                                : state,
                   "", frozenLines ? 1 : 0);
        } else {
            FUZZ_CHECK(w.reports == before.reports + 1); // the open failed and was reported
            FUZZ_CHECK(State() == state);
            // The log says why in the system's terms when the system told.
            if (w.rec.portName == MissingPort) {
                FUZZ_CHECK(log->LineCount() == lines + 1);
                FUZZ_CHECK(LastLine(log).rfind("Port " + MissingPort + " (/dev/", 0) == 0);
            }
        }
    }

    // The window's choice of one of the images on a page, once the open dialog returned the
    // file: the dialogue's own.
    void ChooseFile(int page, size_t image) {
        Dialogue().ChooseImage(page, Images->paths[image].toStdString());
    }

    // The choose-file button of the page in front, and a file, or a cancel, in the dialog.
    void Choose(uint8_t pick) {
        if (Page() == ConfigurationPage)
            return;
        const TReceiverDialogue& dialogue = Dialogue();
        const int page = Page();
        const TBefore before = Before();
        const int32_t state = State();
        const int32_t kind = dialogue.SelectedKind();
        const std::string file = dialogue.ImageFileName();
        const size_t image = pick % (ImageSizes.size() + 1);
        const bool chosen = image != ImageSizes.size(); // else cancelled
        const bool clickable = Clickable(page, w.rec.chooseEnabled);
        const bool answer = NextAnswer();
        if (clickable && chosen)
            ChooseFile(page, image);
        if (!clickable || !chosen) {
            Expect(before, state, "", 0);
            FUZZ_CHECK(dialogue.SelectedKind() == kind && dialogue.ImageFileName() == file);
            return;
        }
        // A file of no usual size for the page is asked about; refused, the choice stays.
        const bool usual = UsualSize(page, ImageSizes[image]);
        Expect(before, state, "", usual ? 0 : 1);
        if (usual || answer) {
            FUZZ_CHECK(dialogue.SelectedKind() == page);
            FUZZ_CHECK(dialogue.ImageFileName() == Images->paths[image].toStdString());
        } else {
            FUZZ_CHECK(dialogue.SelectedKind() == kind && dialogue.ImageFileName() == file);
        }
    }

    // The program button of the page in front.
    void Program() {
        if (Page() == ConfigurationPage)
            return;
        const int page = Page();
        const TBefore before = Before();
        const int32_t state = State();
        const bool clickable = Clickable(page, w.rec.runButtonsEnabled);
        const bool chosen =
            !Dialogue().ImageFileName().empty() && Dialogue().SelectedKind() == page;
        const bool warned = page == ikFirmware;
        const bool warningAnswer = NextAnswer();
        const bool confirm = w.rec.confirmLoading;
        const bool confirmAnswer = warned ? SecondAnswer() : NextAnswer();
        if (clickable)
            w.Guarded([&] { Dialogue().ToolButton16Click(page); });
        if (!clickable || !chosen) {
            Expect(before, state, "", 0);
            return;
        }
        if (warned && !warningAnswer) {
            Expect(before, state, "", 1);
            return;
        }
        ExpectRun(before, page, confirm, confirmAnswer, warned ? 1 : 0);
    }

    // The erase button of the page in front: always asks, whatever image is chosen.
    void Erase() {
        if (Page() == ConfigurationPage)
            return;
        const TBefore before = Before();
        const int32_t state = State();
        const int32_t kind = Dialogue().SelectedKind();
        const bool clickable = Clickable(Page(), w.rec.runButtonsEnabled);
        const bool confirm = w.rec.confirmLoading;
        const bool answer = NextAnswer();
        if (clickable)
            w.Guarded([&] { Dialogue().ToolButton19Click(); });
        FUZZ_CHECK(Dialogue().SelectedKind() == kind); // put back as soon as the run has started
        if (!clickable) {
            Expect(before, state, "", 0);
            return;
        }
        ExpectRun(before, EraseKind, confirm, answer, 0);
    }

    // Whether a run of this kind ends before its command: the erase needs no transfer program.
    bool ProgramFails(int kind) const {
        return kind != EraseKind && w.windows.behaviour != TProgram::Works;
    }

    // A run whose transfer program is not there to deliver: frozen, its tool bar back, and the
    // log says that nothing was sent.
    void CheckUnsentRun(const TBefore& before) {
        if (w.reports != before.reports)
            return;
        const int32_t toolBar = Dialogue().RunToolBar();
        FUZZ_CHECK(w.rec.toolBarEnabled[size_t(toolBar)]);
        const std::string last = LastLine(Dialogue().KindLog());
        FUZZ_CHECK(last.rfind("The transfer program ", 0) == 0 &&
                   Contains(last, ". Nothing was sent to the receiver."));
    }

    // A run asked for: running with its command on the line once confirmed and its transfer
    // program up, frozen otherwise.
    void ExpectRun(const TBefore& before, int kind, bool confirm, bool answer, size_t asked) {
        const bool yes = !confirm || answer;
        const bool sent = yes && !ProgramFails(kind);
        const bool failed = w.reports != before.reports;
        Expect(before, sent ? rsRunning : rsFrozen, sent ? RunCommands[kind] : "",
               asked + (confirm ? 1 : 0));
        if (yes && !sent)
            CheckUnsentRun(before);
        const int32_t toolBar = Dialogue().RunToolBar();
        if (sent && !failed)
            FUZZ_CHECK(!w.rec.toolBarEnabled[size_t(toolBar)]);
        // A command that could not be written leaves no run behind.
        if (yes && failed)
            FUZZ_CHECK(State() != rsRunning && w.rec.toolBarEnabled[size_t(toolBar)]);
    }

    // A timer expires, if it runs.
    void Tick(uint8_t which) {
        const TRunTimer timer = (which & 1) ? TRunTimer::Watchdog : TRunTimer::Paste;
        if (!w.rec.TimerRunning(timer))
            return;
        const TBefore before = Before();
        const int32_t state = State();
        if (timer == TRunTimer::Paste)
            w.Guarded([&] { Dialogue().Timer1Timer(); });
        else
            w.Guarded([&] { Dialogue().Timer2Timer(); });
        FUZZ_CHECK(!w.rec.TimerRunning(timer));
        if (timer == TRunTimer::Paste) {
            Expect(before, state, "", 0);
            return;
        }
        // The watchdog: the run has stalled, the receiver is frozen, its tool bar back.
        Expect(before, rsFrozen, "", 0);
        const int32_t toolBar = Dialogue().RunToolBar();
        FUZZ_CHECK(toolBar == -1 || w.rec.toolBarEnabled[size_t(toolBar)]);
    }

    // The user asks for the next or the previous page from the keyboard (Ctrl+PgDown, PgUp,
    // Tab, Shift+Tab); refused during a run.
    void ChangePage(uint8_t key) {
        const int page = Page();
        const TBefore before = Before();
        const int32_t state = State();
        if (Dialogue().PageControl1Changing())
            w.rec.activePage = (page + (key % 2 == 0 ? 1 : 3)) % 4;
        Expect(before, state, "", 0);
        if (state == rsRunning)
            FUZZ_CHECK(Page() == page);
    }

    // The options and the port list, on the Configuration page only.
    void Configure(uint8_t what) {
        if (Page() != ConfigurationPage)
            return;
        TRecordingWindow& rec = w.rec;
        const TBefore before = Before();
        const int32_t state = State();
        const bool connected = Connected();
        switch (what % 7) {
        case 0: rec.fullCommunication = !rec.fullCommunication; break;
        case 1: break; // "Show COM status" only shows or hides the Flash page's lamps
        case 2: rec.confirmLoading = !rec.confirmLoading; break;
        case 3: rec.alwaysFreeze = !rec.alwaysFreeze; break;
        case 4: rec.commandDelay = int8_t(what) * 40; break;
        default: {
            // A pick in the port list (Down or Up in it) closes the port and takes the other
            // port.
            const std::string pick = what % 7 == 5 ? MissingPort : LinePort;
            if (pick != w.listedPort) {
                w.listedPort = pick;
                w.Guarded([&] { Dialogue().DecPortChange(); });
                Expect(before, connected ? rsIdle : state, "", 0);
                FUZZ_CHECK(!Connected() && rec.portName == pick);
                return;
            }
            break;
        }
        }
        Expect(before, state, "", 0);
    }

    void ClearLog() {
        if (Page() == ConfigurationPage)
            return;
        const TBefore before = Before();
        const int32_t state = State();
        if (Clickable(Page())) {
            Dialogue().ActivePageLog()->Clear();
            FUZZ_CHECK(Dialogue().ActivePageLog()->LineCount() == 0);
        }
        Expect(before, state, "", 0);
    }

    // A pulled adapter, or the exit button; false when the window has closed.
    bool Rare(uint8_t what) {
        if (what % 16 == 0) {
            w.unplugged = true;
            return true;
        }
        if (what % 16 == 1 && Page() != ConfigurationPage) {
            if (!Clickable(Page()))
                return true;
            // The exit button and then the window's close: the transfer program is asked to
            // close with the window.
            Dialogue().CloseExternalWindow();
            Dialogue().CloseExternalWindow();
            FUZZ_CHECK(!w.windows.IsWindow(Dialogue().ExternalWindow()));
            return false;
        }
        Tick(what >> 4);
        return true;
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
    TFuzzWindow w;
    // VELL_FUZZ_TRACE=1 lists the steps of an input, for reading a reproducer.
    const bool m_trace = std::getenv("VELL_FUZZ_TRACE") != nullptr;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // A step takes two or three bytes: inputs of a few hundred bytes from the start.
    DefaultFlags(argc, argv, {"-len_control=0", "-max_len=600"});
    Images = new TImages;
    std::atexit([] { delete Images; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TSession session(data, size);
    session.Run();
    return 0;
}
