#pragma once
// The receiver dialogue in a recorded window, with a fake transfer program. The test plays the
// receiver (its bytes, its DSR and RLSD lines) and the user (the handlers the window passes
// on); the port and its lamps report as the real ones do: an open reports itself, then every
// lamp; a close turns every lamp off, then reports itself; later only a changed line reports.

#include "receiver/ReceiverDialogue.h"
#include "system/SystemImageFiles.h"
#include "tests/receiver/RecordingWindow.h"
#include "tests/support/FakeWindows.h"
#include "tests/support/TempFolder.h"

#ifdef _WIN32
#include "external/WinText.h"
#endif

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace Dialogue {

using TLine = TRecordingLog::TLine;
using TLines = std::vector<TLine>;

// A message on the line, framed by STX and ETX.
inline std::string Framed(const std::string& body) {
    return "\x02" + body + "\x03";
}
// The receiver's messages, and the command of a FLASH write.
inline const std::string StartString = "AT\r";
inline const std::string FreezeAck = Framed("S000,0");
inline const std::string FlashCommand = Framed("C042,5");
inline const std::string NewDownloadLine = "Now your receiver can start a new download...";
// The system's reason for a file that is not there.
#ifdef _WIN32
inline const std::string NoSuchFile = SystemErrorText(2); // ERROR_FILE_NOT_FOUND
#else
inline const std::string NoSuchFile = "No such file or directory";
#endif

class TRecordedDialogueTest : public testing::Test {
protected:
    TRecordedDialogueTest() {
        dialogue->SetAppDir("/opt/vell/");
        window.onOpen = [this] {
            dialogue->DecAfterOpen();
            ShowLines(true);
        };
        window.onClose = [this] {
            ShowLines(true);
            dialogue->DecAfterClose();
        };
    }

    // The lamps show the receiver's lines while the port is open, and report.
    void ShowLines(bool all) {
        const bool dsrOn = window.connected && dsr, rlsdOn = window.connected && rlsd;
        const bool dsrChanged = dsrOn != window.dsrOn, rlsdChanged = rlsdOn != window.rlsdOn;
        window.dsrOn = dsrOn;
        if (all || dsrChanged)
            dialogue->ComLed3Change(dsrOn);
        window.rlsdOn = rlsdOn;
        if (all || rlsdChanged)
            dialogue->ComLed5Change(rlsdOn);
    }
    void SetLines(bool dsrOn, bool rlsdOn) {
        dsr = dsrOn;
        rlsd = rlsdOn;
        ShowLines(false);
    }
    // Opens the port with its toggle while the receiver holds these lines.
    bool Open(bool dsrOn = false, bool rlsdOn = false) {
        if (window.connected)
            dialogue->ToolButton1Click(); // closes it first
        dsr = dsrOn;
        rlsd = rlsdOn;
        dialogue->ToolButton1Click();
        return window.connected;
    }
    // The receiver held in its loader when the port opens: the user confirms it is frozen.
    bool OpenFrozen() {
        window.answers = {true};
        return Open(false, true) && dialogue->ReceiverState() == rsFrozen;
    }
    void Receive(const std::string& bytes) {
        window.input = bytes;
        dialogue->DecRxChar(int32_t(bytes.size()));
    }
    // A file of exactly `size` bytes; its full path. Its time is in whole seconds: on Windows
    // the library sets a file's time without its fraction, and a file made to match this one's
    // time must match it exactly.
    std::string MakeImage(const std::string& name, uintmax_t size) {
        namespace fs = std::filesystem;
        const std::string path = images.Path(name);
        const fs::path file = fs::u8path(path);
        std::ofstream(file, std::ios::binary).close();
        std::error_code ec;
        fs::resize_file(file, size, ec);
        const fs::file_time_type time = ec ? fs::file_time_type() : fs::last_write_time(file, ec);
        if (!ec)
            fs::last_write_time(file, std::chrono::floor<std::chrono::seconds>(time), ec);
        if (ec)
            ADD_FAILURE() << "cannot make " << path << ": " << ec.message();
        return path;
    }
    // Chooses an image of the usual size for a kind, on its page, with the file choice.
    std::string Choose(int kind) {
        static const uintmax_t sizes[] = {524288, 1024000, 4096};
        const std::string path = MakeImage("image" + std::to_string(kind) + ".bin", sizes[kind]);
        window.activePage = kind;
        EXPECT_TRUE(dialogue->ChooseImage(kind, path));
        return path;
    }
    TRecordingLog& Log(int page) { return window.logs[size_t(page)]; }

    TestSupport::TTempFolder images;
    TRecordingWindow window;
    TFakeWindows windows;
    const TImageFiles& files = SystemImageFiles();
    std::unique_ptr<TReceiverDialogue> dialogue =
        std::make_unique<TReceiverDialogue>(window, windows, files);
    bool dsr = false, rlsd = false; // the receiver's lines
};

} // namespace Dialogue
