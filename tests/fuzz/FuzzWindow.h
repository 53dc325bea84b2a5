#pragma once
// The main window for the fuzz targets: one offscreen application for the whole process, and
// for each input a fresh window whose port talks to an in-process fake line, with its dialogs,
// settings and transfer program faked. The port is opened without its event thread: the
// target plays the driver and raises the port's received-characters and line events itself,
// on this thread, so an input runs the same way every time.

#include "Application.h"
#include "ComLed.h"
#include "ComPort.h"
#include "FakeDialogs.h"
#include "FakeWindows.h"
#include "SDIAppForm.h"
#include "SettingsStore.h"
#include "platform/FakeDevice.h"

#include <QCoreApplication>
#include <QString>
#include <initializer_list>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

// Stops the input with the check that failed, for the crash report.
#define FUZZ_CHECK(condition) \
    ((condition) ? void() : ::Fuzz::Fail(#condition, __FILE__, __LINE__))

namespace Fuzz {

[[noreturn]] inline void Fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

// Both called from LLVMFuzzerInitialize. The first puts the target's own defaults before the
// fuzzer's arguments, where flags given on the command line override them; it also leaves the
// check for leaks to the process's end. The second makes the offscreen application, once.
void DefaultFlags(int* argc, char*** argv, std::initializer_list<const char*> flags);
void StartApplication();

// Settings kept in memory only: nothing one input saves reaches the next. Every value starts
// missing, so the window starts with its defaults (port closed at start-up).
class TMemorySettings final : public TSettingsStore {
public:
    TMemorySettings() : TSettingsStore(QStringLiteral("/nonexistent/VellWriter.conf")) {}
    bool OpenKey(const QString&, bool) override { return true; }
    void CloseKey() override {}
    bool ValueExists(const QString& name) const override { return m_values.count(name) != 0; }
    int32_t ReadInteger(const QString& name) const override { return m_values.at(name); }
    void WriteInteger(const QString& name, int32_t value) override { m_values[name] = value; }

private:
    std::map<QString, int32_t> m_values;
};

// The port the window lists first is on the fake line; the second is listed but missing, so
// opening it fails as a pulled adapter would.
inline const std::string LinePort = "FUZZLINE";
inline const std::string MissingPort = "FUZZGONE";

struct TFuzzWindow {
    TFuzzWindow()
        : services{dialogs, settings, windows,
                   [](std::vector<std::string>& list) { list = {LinePort, MissingPort}; }} {
        TApplication::Instance()->SetDialogs(&dialogs); // failure reports are recorded
        form = std::make_unique<TSDIAppForm>(services);
        form->Dec->Events = TComEvents(); // no event thread: this target raises the events
    }
    ~TFuzzWindow() {
        form.reset();
        TApplication::Instance()->SetDialogs(nullptr);
    }

    // The driver's received-characters event for bytes that came down the line.
    void Receive(const std::string& bytes) {
        line->Send(bytes);
        form->Dec->CallRxChar();
        Settle();
    }
    // The receiver sets its modem lines; the driver reports the DSR and RLSD lines that changed,
    // as the event thread would.
    void SetLines(Platform::DWORD lines) {
        const Platform::DWORD changed = lines ^ m_lines;
        m_lines = lines;
        line->SetLines(lines);
        if (!form->Dec->Connected())
            return;
        if (changed & Platform::MS_DSR_ON)
            form->Dec->CallDSRChange();
        if (changed & Platform::MS_RLSD_ON)
            form->Dec->CallRLSDChange();
        Settle();
    }
    // Back in the message loop between two events: what the handlers posted (repaints,
    // layouts) is delivered, as the program's loop would; left undelivered it would pile up.
    // Timers are not served: they expire only when the target says so.
    static void Settle() { QCoreApplication::sendPostedEvents(); }

    std::shared_ptr<Platform::TFakeLine> line = Platform::TFakeLine::Publish(LinePort);
    TFakeDialogs dialogs;
    TFakeWindows windows;
    TMemorySettings settings;
    TServices services;
    std::unique_ptr<TSDIAppForm> form;

private:
    Platform::DWORD m_lines = 0;
};

} // namespace Fuzz
