// The main window following the receiver under any order of what can happen to it: chunks from
// the line (the receiver's messages, the words of a run, anything), the DSR and RLSD lines, the
// user's buttons on the page in front, the options on the Configuration page, the timers
// expiring, a pulled adapter. After every step the window must hold together:
//
// - the receiver state is idle, running or frozen, and the six run buttons are enabled or
//   disabled together, always enabled when frozen and disabled when idle; a run's tool bar is
//   disabled, and the transfer program open, only while the run goes on or its watchdog is
//   still to end it: a receiver that starts over or switches off ends an unwatched run;
// - the port toggles, the choose-file buttons and the DSR and RLSD lamps follow the port;
// - each step moves the state as the dialogue defines it, and writes to the line exactly the
//   command strings that step answers or starts with;
// - a page change is refused during a run; nothing but the logs grows; no handler fails unless
//   the port is closed, missing or unplugged;
// - a click on the port toggle that a lamp lets through while it shows a report (the lamps run
//   the window's pending events) closes the port in the middle of the port's notifications.

#include "FuzzWindow.h"

#include "CSpinEdit.h"
#include "ComComboBox.h"
#include "FailureReport.h"
#include "ImageList.h"
#include "LogEdit.h"
#include "OpenDialog.h"
#include "PageControl.h"
#include "Rendering.h"
#include "ToolBar.h"
#include "ToolButton.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QTimerEvent>
#include <array>
#include <optional>
#include <string>

using namespace Fuzz;
using Platform::MS_DSR_ON;
using Platform::MS_RLSD_ON;

namespace {

// The receiver's three messages.
const std::string StartString = "AT\r";
const std::string FreezeAck = std::string("\x02S000,0\x03", 8);
const std::string CodeGeneration = std::string("\x02" "C046,", 6);
// Chunks the input names with one byte: the messages, and the receiver's words during a run.
const std::string Pieces[] = {
    StartString, FreezeAck, CodeGeneration, "Memory Alocation", "Download started",
    "Failed to write", "C04", "C2", "4", "\r\n", "Writing 50%",
};

// What the tool writes: the answer to the start string, and the command of each kind of run
// (FLASH, FIRMWARE, EEPROM, erase).
const std::string StartAnswer = "STX,EF81DD51,ETX";
const std::string RunCommands[] = {
    std::string("\x02" "C042,5\x03", 8), std::string("\x02" "C246,2\x03", 8),
    std::string("\x02" "C043,5\x03", 8), std::string("\x02" "C044,2\x03", 8),
};
constexpr int EraseKind = 3;

const char* const FreezeHint =
    "You turned on receiver but the software don't freeze it. If you want to freeze it next "
    "time you turn on without selecting a file, select the option \"Always freeze\" from "
    "configuration...";

constexpr int ConfigurationPage = 3;
constexpr size_t LongestSession = 400; // steps of one input

// Image files of each kind's usual size and two more; made once.
constexpr std::array<qint64, 5> ImageSizes = {524288, 1024000, 4096, 1000, 2000000};
struct TImages {
    TImages() {
        for (size_t i = 0; i < ImageSizes.size(); ++i) {
            paths[i] = folder.filePath(QStringLiteral("image%1.bin").arg(i));
            QFile file(paths[i]);
            FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.resize(ImageSizes[i]));
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

class TSession {
public:
    TSession(const uint8_t* data, size_t size) : m_data(data), m_size(size) {
        m_objects = CountObjects();
        CheckWhole();
    }

    void Run() {
        for (size_t step = 0; step < LongestSession && m_at < m_size; ++step) {
            // Two answers for the boxes this step may show; Yes once they are used up.
            const uint8_t answers = Next();
            w.dialogs.answers = {bool(answers & 1), bool(answers & 2)};
            const uint8_t action = Next();
            if (m_trace)
                std::fprintf(stderr, "step %u, from state %d on page %d, port %s\n",
                             action % 16, State(), Page(), Connected() ? "open" : "closed");
            if (!Step(action))
                return; // the window was closed
            TFuzzWindow::Settle();
            CheckWhole();
        }
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
    TSDIAppForm& Form() { return *w.form; }
    int32_t State() { return Form().ReceiverState; }
    bool Connected() { return Form().Dec->Connected(); }
    int Page() { return Form().PageControl1->currentIndex(); }
    // The answer the next box gets.
    bool NextAnswer() const { return w.dialogs.answers.empty() || w.dialogs.answers.front(); }
    bool SecondAnswer() const {
        return w.dialogs.answers.size() < 2 || w.dialogs.answers[1];
    }
    static bool OwnEnabled(const QWidget* widget) {
        return !widget->testAttribute(Qt::WA_ForceDisabled);
    }
    size_t Reports() const {
        size_t reports = 0;
        for (const TFakeDialogs::Shown& shown : w.dialogs.shown)
            reports += shown.icon == TMsgIcon::Error ? 1 : 0;
        return reports;
    }
    size_t Questions() const { return w.dialogs.shown.size() - Reports(); }
    // The window's controls and timers, and the windows of the application: a text document's
    // own parts come and go with its text, and are left out.
    int CountObjects() {
        return int(Form().findChildren<QWidget*>().size() + Form().findChildren<QTimer*>().size() +
                   QApplication::topLevelWidgets().size());
    }
    // Whether the port could fail now: closed, its device missing, or unplugged.
    bool PortMayFail() {
        return m_unplugged || !Connected() || Form().Dec->Port() == MissingPort;
    }

    // --- Checks after every step --------------------------------------------------------------
    void CheckWhole() {
        TSDIAppForm& form = Form();
        const int32_t state = State();
        FUZZ_CHECK(state == rsIdle || state == rsRunning || state == rsFrozen);

        const auto run = form.RunButtons();
        const bool enabled = OwnEnabled(run[0]);
        for (TToolButton* button : run)
            FUZZ_CHECK(OwnEnabled(button) == enabled);
        FUZZ_CHECK(state != rsFrozen || enabled);
        FUZZ_CHECK(state != rsIdle || !enabled);
        if (state == rsRunning)
            FUZZ_CHECK(form.RunToolBar != nullptr && !OwnEnabled(form.RunToolBar));
        if (state != rsRunning && !form.Timer2->isActive()) {
            FUZZ_CHECK(form.RunToolBar == nullptr || OwnEnabled(form.RunToolBar));
            FUZZ_CHECK(!w.windows.IsWindow(form.ExternalWindow));
        }

        const bool connected = Connected();
        for (TToolButton* toggle : form.PortButtons()) {
            FUZZ_CHECK(toggle->Down() == connected);
            FUZZ_CHECK(toggle->ImageIndex() ==
                       (connected ? TImageList::imgPortOpen : TImageList::imgPortClosed));
        }
        for (TToolButton* choose : form.ChooseButtons())
            FUZZ_CHECK(OwnEnabled(choose) == connected);
        if (!m_unplugged) {
            FUZZ_CHECK((form.ComLed3->State() == lsOn) == (connected && (m_lines & MS_DSR_ON)));
            FUZZ_CHECK((form.ComLed5->State() == lsOn) == (connected && (m_lines & MS_RLSD_ON)));
        }

        // Every byte on the line was written by a step that was to write it.
        FUZZ_CHECK(w.line->TakeSent().empty());
        // Only the logs grow: no control, timer or dialog is left behind by a step.
        FUZZ_CHECK(CountObjects() == m_objects);
        FUZZ_CHECK(form.SelectedKind >= ikNone && form.SelectedKind <= ikEeprom);
    }

    // Checks one step's effect: the state it leads to, the bytes it wrote, the boxes it showed.
    struct TBefore {
        size_t reports, questions;
        bool mayFail;
    };
    TBefore Before() { return {Reports(), Questions(), PortMayFail()}; }
    void Expect(const TBefore& before, int32_t state, const std::string& sent,
                size_t questions) {
        const std::string written = w.line->TakeSent();
        const bool failed = Reports() != before.reports;
        FUZZ_CHECK(!failed || before.mayFail || PortMayFail());
        if (failed)
            return; // a failure ends the handler where it happened
        FUZZ_CHECK(State() == state);
        FUZZ_CHECK(written == sent);
        FUZZ_CHECK(Questions() - before.questions == questions);
    }

    // --- Steps --------------------------------------------------------------------------------
    bool Step(uint8_t action) {
        switch (action % 16) {
        case 0: case 1: case 2: case 3: Receive(NextChunk()); break;
        case 4:
            // The receiver starts and, answered, acknowledges its freeze.
            Receive(StartString);
            CheckWhole();
            Receive(FreezeAck);
            break;
        case 5: Lines(Next()); break;
        case 6: Toggle(Next() & 1); break;
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
        TSDIAppForm& form = Form();
        const TBefore before = Before();
        const int32_t state = State();
        TLogEdit* log = form.KindLog();
        const int lines = log->LineCount();
        const std::string lastLine = lines > 0 ? log->Line(lines - 1) : std::string();
        const std::string runText = form.RunText;
        const bool alwaysFreeze = form.CheckBox5->isChecked();
        const bool confirm = form.CheckBox3->isChecked();
        const bool answer = NextAnswer();
        const int32_t kind = form.SelectedKind;

        Raise([&] { w.Receive(chunk); });
        if (m_unplugged)
            return;

        if (chunk == StartString) {
            Expect(before, rsIdle, alwaysFreeze ? StartAnswer : "", 0);
            FUZZ_CHECK(log->Line(0).rfind("Received start string...", 0) == 0);
        } else if (chunk == FreezeAck && state == rsIdle && alwaysFreeze) {
            // Frozen: a run starts at once when an image is chosen and confirmed.
            const bool image = kind >= ikFlash && kind <= ikEeprom;
            const bool run = image && (!confirm || answer);
            Expect(before, run ? rsRunning : rsFrozen, run ? RunCommands[kind] : "",
                   image && confirm ? 1 : 0);
        } else if (chunk == FreezeAck || chunk == CodeGeneration) {
            Expect(before, state, "", 0);
            const std::string last = log->Line(log->LineCount() - 1);
            if (state == rsIdle && alwaysFreeze)
                FUZZ_CHECK(last.rfind("Receiver send code generation...", 0) == 0);
            else if (state == rsIdle)
                FUZZ_CHECK(last == FreezeHint);
            else
                FUZZ_CHECK(log->LineCount() == lines); // neither logged nor answered
        } else if (state == rsRunning) {
            // The run's text: it ends the run once it holds "C04" or "C24".
            const std::string text =
                (form.CheckBox1->isChecked() ? runText : lastLine) +
                PlainText(chunk.data(), int(chunk.size()));
            const bool end = Contains(text, "C04") || Contains(text, "C24");
            Expect(before, end ? rsFrozen : rsRunning, "", 0);
            if (end)
                FUZZ_CHECK(log->Line(log->LineCount() - 1) ==
                           "Now your receiver can start a new download...");
        } else {
            Expect(before, state, "", 0);
            FUZZ_CHECK(log->LineCount() > lines);
        }
    }

    // The receiver sets DSR and RLSD; the driver reports the lines that changed.
    void Lines(uint8_t bits) {
        const Platform::DWORD lines = ((bits & 1) ? MS_DSR_ON : 0) | ((bits & 2) ? MS_RLSD_ON : 0);
        const Platform::DWORD changed = lines ^ m_lines;
        const TBefore before = Before();
        const int32_t state = State();
        const bool connected = Connected();
        const bool click = (bits & 4) && connected && changed != 0 && QueueClick();
        m_lines = lines;
        Raise([&] { w.SetLines(lines); });
        if (m_unplugged)
            return;
        if (click) {
            // The first lamp to show the change let the click through: the port closed there.
            Expect(before, rsIdle, "", 0);
            FUZZ_CHECK(!Connected());
            return;
        }
        // Switched on (DSR on) or off (RLSD off): waiting for the receiver again.
        const bool turned = ((changed & MS_DSR_ON) && (lines & MS_DSR_ON)) ||
                            ((changed & MS_RLSD_ON) && !(lines & MS_RLSD_ON));
        Expect(before, connected && turned ? rsIdle : state, "", 0);
        if (connected && turned)
            FUZZ_CHECK(!OwnEnabled(Form().RunButtons()[0]));
    }

    // A second click on the port toggle of the page in front, posted: the first lamp to show a
    // report of the port lets it through. False when there is no toggle to click.
    bool QueueClick() {
        if (Page() == ConfigurationPage || !Form().PortButtons()[size_t(Page())]->isEnabled())
            return false;
        QMetaObject::invokeMethod(Form().PortButtons()[size_t(Page())], &QAbstractButton::click,
                                  Qt::QueuedConnection);
        return true;
    }

    // The port toggle of the page in front; clicked twice when `twice`, the second click let
    // through by a lamp while the first one's open or close reports to it.
    void Toggle(bool twice) {
        if (Page() == ConfigurationPage)
            return;
        TToolButton* toggle = Form().PortButtons()[size_t(Page())];
        const TBefore before = Before();
        const int32_t state = State();
        const bool clickable = toggle->isEnabled();
        const bool connected = Connected();
        const bool answer = NextAnswer();
        const bool second = twice && QueueClick();
        toggle->click();
        TFuzzWindow::Settle(); // a second click no lamp let through comes now
        if (m_unplugged)
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
            const bool dsr = m_lines & MS_DSR_ON, rlsd = m_lines & MS_RLSD_ON;
            const bool frozenLines = rlsd && !dsr;
            Expect(before, !frozenLines ? rsIdle : answer ? rsFrozen : state, "",
                   frozenLines ? 1 : 0);
        } else {
            FUZZ_CHECK(Reports() == before.reports + 1); // the open failed and was reported
            FUZZ_CHECK(State() == state);
        }
    }

    // The choose-file button of the page in front, and a file, or a cancel, in the dialog.
    void Choose(uint8_t pick) {
        if (Page() == ConfigurationPage)
            return;
        TSDIAppForm& form = Form();
        TToolButton* choose = form.ChooseButtons()[size_t(Page())];
        const TBefore before = Before();
        const int32_t state = State();
        const int32_t kind = form.SelectedKind;
        const QString file = form.OpenDialog->FileName;
        const size_t image = pick % (ImageSizes.size() + 1);
        if (image == ImageSizes.size())
            w.dialogs.openAnswer.reset();
        else
            w.dialogs.openAnswer = Images->paths[image];
        const bool clickable = choose->isEnabled();
        const bool answer = NextAnswer();
        choose->click();
        if (!clickable || !w.dialogs.openAnswer) {
            Expect(before, state, "", 0);
            FUZZ_CHECK(form.SelectedKind == kind && form.OpenDialog->FileName == file);
            return;
        }
        // A file of no usual size for the page is asked about; refused, the choice stays.
        const bool usual = UsualSize(Page(), ImageSizes[image]);
        Expect(before, state, "", usual ? 0 : 1);
        if (usual || answer) {
            FUZZ_CHECK(form.SelectedKind == Page());
            FUZZ_CHECK(form.OpenDialog->FileName == *w.dialogs.openAnswer);
        } else {
            FUZZ_CHECK(form.SelectedKind == kind && form.OpenDialog->FileName == file);
        }
    }

    // The program button of the page in front.
    void Program() {
        if (Page() == ConfigurationPage)
            return;
        TSDIAppForm& form = Form();
        const int page = Page();
        TToolButton* button = form.RunButtons()[size_t(page)];
        const TBefore before = Before();
        const int32_t state = State();
        const bool clickable = button->isEnabled();
        const bool chosen = !form.OpenDialog->FileName.isEmpty() && form.SelectedKind == page;
        const bool warned = page == ikFirmware;
        const bool warningAnswer = NextAnswer();
        const bool confirm = form.CheckBox3->isChecked();
        const bool confirmAnswer = warned ? SecondAnswer() : NextAnswer();
        button->click();
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
        TSDIAppForm& form = Form();
        TToolButton* button = form.RunButtons()[size_t(3 + Page())];
        const TBefore before = Before();
        const int32_t state = State();
        const int32_t kind = form.SelectedKind;
        const bool clickable = button->isEnabled();
        const bool confirm = form.CheckBox3->isChecked();
        const bool answer = NextAnswer();
        button->click();
        FUZZ_CHECK(form.SelectedKind == kind); // put back as soon as the run has started
        if (!clickable) {
            Expect(before, state, "", 0);
            return;
        }
        ExpectRun(before, EraseKind, confirm, answer, 0);
    }

    // A run asked for: running with its command on the line once confirmed, frozen otherwise.
    void ExpectRun(const TBefore& before, int kind, bool confirm, bool answer, size_t asked) {
        const bool yes = !confirm || answer;
        Expect(before, yes ? rsRunning : rsFrozen, yes ? RunCommands[kind] : "",
               asked + (confirm ? 1 : 0));
        if (yes && Reports() == before.reports)
            FUZZ_CHECK(!OwnEnabled(Form().RunToolBar));
        // A command that could not be written leaves no run behind.
        if (yes && Reports() != before.reports)
            FUZZ_CHECK(State() != rsRunning && OwnEnabled(Form().RunToolBar));
    }

    // A timer expires, if it runs.
    void Tick(uint8_t which) {
        TSDIAppForm& form = Form();
        QTimer* timer = (which & 1) ? form.Timer2 : form.Timer1;
        if (!timer->isActive())
            return;
        const TBefore before = Before();
        const int32_t state = State();
        QTimerEvent event(timer->timerId());
        QCoreApplication::sendEvent(timer, &event);
        FUZZ_CHECK(!timer->isActive());
        if (timer == form.Timer1) {
            Expect(before, state, "", 0);
            return;
        }
        // The watchdog: the run has stalled, the receiver is frozen, its tool bar back.
        Expect(before, rsFrozen, "", 0);
        FUZZ_CHECK(form.RunToolBar == nullptr || OwnEnabled(form.RunToolBar));
    }

    // The user asks for another page from the keyboard; refused during a run.
    void ChangePage(uint8_t key) {
        const int page = Page();
        const TBefore before = Before();
        const int32_t state = State();
        static const Qt::Key keys[] = {Qt::Key_PageDown, Qt::Key_PageUp, Qt::Key_Tab,
                                       Qt::Key_Backtab};
        QKeyEvent event(QEvent::KeyPress, keys[key % 4], Qt::ControlModifier);
        QCoreApplication::sendEvent(Form().PageControl1, &event);
        Expect(before, state, "", 0);
        if (state == rsRunning)
            FUZZ_CHECK(Page() == page);
    }

    // The options and the port list, on the Configuration page only.
    void Configure(uint8_t what) {
        if (Page() != ConfigurationPage)
            return;
        TSDIAppForm& form = Form();
        const TBefore before = Before();
        const int32_t state = State();
        const bool connected = Connected();
        switch (what % 7) {
        case 0: form.CheckBox1->click(); break;
        case 1: form.CheckBox2->click(); break;
        case 2: form.CheckBox3->click(); break;
        case 3: form.CheckBox5->click(); break;
        case 4: form.Spin1->SetValue(int8_t(what) * 40); break;
        default: {
            // A pick in the port list closes the port and takes the other port.
            const int index = form.DecPort->currentIndex();
            QKeyEvent event(QEvent::KeyPress, what % 7 == 5 ? Qt::Key_Down : Qt::Key_Up,
                            Qt::NoModifier);
            QCoreApplication::sendEvent(form.DecPort, &event);
            if (form.DecPort->currentIndex() != index) {
                Expect(before, connected ? rsIdle : state, "", 0);
                FUZZ_CHECK(!Connected());
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
        TSDIAppForm& form = Form();
        TToolButton* clear = std::array{form.ToolButton20, form.ToolButton23,
                                        form.ToolButton27}[size_t(Page())];
        const TBefore before = Before();
        const int32_t state = State();
        const bool clickable = clear->isEnabled();
        clear->click();
        if (clickable)
            FUZZ_CHECK(form.ActivePageLog()->LineCount() == 0);
        Expect(before, state, "", 0);
    }

    // A pulled adapter, or the exit button; false when the window has closed.
    bool Rare(uint8_t what) {
        TSDIAppForm& form = Form();
        if (what % 16 == 0) {
            w.line->Unplug();
            m_unplugged = true;
            return true;
        }
        if (what % 16 == 1 && Page() != ConfigurationPage) {
            TToolButton* exit = std::array{form.ToolButton4, form.ToolButton8,
                                           form.ToolButton12}[size_t(Page())];
            if (!exit->isEnabled())
                return true;
            exit->click();
            // The transfer program is asked to close with the window.
            FUZZ_CHECK(!w.windows.IsWindow(form.ExternalWindow));
            return false;
        }
        Tick(what >> 4);
        return true;
    }

    // A driver event: what its handlers let escape is reported, as the port's dispatch does.
    template <class Event> void Raise(Event event) {
        try {
            event();
        } catch (...) {
            ReportCurrentException();
        }
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
    TFuzzWindow w;
    int m_objects = 0;
    // VELL_FUZZ_TRACE=1 lists the steps of an input, for reading a reproducer.
    const bool m_trace = qEnvironmentVariableIsSet("VELL_FUZZ_TRACE");
    Platform::DWORD m_lines = 0;
    bool m_unplugged = false;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // A step takes two or three bytes: inputs of a few hundred bytes from the start.
    DefaultFlags(argc, argv, {"-len_control=0", "-max_len=600"});
    StartApplication();
    Images = new TImages;
    std::atexit([] { delete Images; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TSession session(data, size);
    session.Run();
    return 0;
}
