#pragma once
// A main window whose port `Dec` talks to an in-process fake line. The test plays the receiver
// at the line's far end (its bytes, its DSR and RLSD lines) and the user at the window. The
// port's events are handed to this thread as in the program and served by pumping events.

#include "app/LogEdit.h"
#include "app/ToolButton.h"
#include "controls/UiHandOver.h"
#include "serial/ComPort.h"
#include "tests/app/WindowHarness.h"
#include "tests/support/FakeDevice.h"
#include "tests/support/PumpUntil.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace Dialogue {

using namespace Platform;

using TestSupport::PumpUntil;

inline std::vector<std::string> Lines(const TLogEdit* log) {
    std::vector<std::string> lines;
    for (int i = 0; i < log->LineCount(); ++i)
        lines.push_back(log->Line(i));
    return lines;
}

inline std::vector<TColor> Colors(const TLogEdit* log) {
    std::vector<TColor> colors;
    for (int i = 0; i < log->LineCount(); ++i)
        colors.push_back(log->LineColor(i));
    return colors;
}

inline std::string LastLine(const TLogEdit* log) {
    return log->Line(log->LineCount() - 1);
}

// A file of exactly `size` bytes in `dir`; its full path.
inline QString MakeImage(const QTemporaryDir& dir, const QString& name, qint64 size) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
        ADD_FAILURE() << "cannot make " << path.toStdString();
    return path;
}

// The receiver's messages as they come down the line.
inline const std::string StartString = "AT\r";
inline const std::string FreezeAck = std::string("\x02S000,0\x03", 8);

inline std::string UniquePortName() {
    static std::atomic<int> next{0};
    return "FAKEDLG" + std::to_string(++next);
}

class TDialogueTest : public testing::Test {
protected:
    void SetUp() override {
        InstallUiHandOver(); // the port's events reach the window through this thread's loop
        form = harness.Build();
        // Counts what the window's handler has read, so a test knows when a chunk is dealt
        // with even when it leaves no trace.
        form->Port().OnRxChar = [this, handler = form->Port().OnRxChar](TObject* sender,
                                                                        int32_t count) {
            handler(sender, count);
            received += size_t(count);
        };
    }
    void TearDown() override { form.reset(); }

    // Opens the port with its toggle while the receiver holds `modemLines`.
    bool OpenPort(DWORD modemLines = 0) {
        line->SetLines(modemLines);
        form->ToolButton1Click(form->PortButtons()[0]);
        return form->Port().Connected();
    }
    // The receiver held in its loader when the port opens: the user confirms it is frozen.
    bool OpenFrozen() {
        harness.dialogs.answers = {true};
        return OpenPort(MS_RLSD_ON) && form->Dialogue().ReceiverState() == rsFrozen;
    }
    // Sends a chunk and waits until the window's handler has read and dealt with it.
    bool Receive(const std::string& bytes) {
        const size_t target = received + bytes.size();
        line->Send(bytes);
        return PumpUntil([this, target] { return received >= target; });
    }

    const std::string portName = UniquePortName();
    std::shared_ptr<TFakeLine> line = TFakeLine::Publish(portName);
    // The window lists a second port, which no test opens: only a pick in the list reaches it.
    const std::string otherPortName = UniquePortName();
    TWindowHarness harness{{portName, otherPortName}};
    TFakeDialogs& dialogs = harness.dialogs;
    TFakeWindows& windows = harness.windows;
    std::unique_ptr<TSDIAppForm> form;
    size_t received = 0;
};

} // namespace Dialogue
