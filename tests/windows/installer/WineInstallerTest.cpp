// The Windows packages, driven from Linux: the 32-bit installer installs quietly under Wine
// into a folder of the test's own, its Start-menu entry opens the program, and its uninstaller
// takes away what it installed and nothing else (the settings, the person's own transfer
// program); the zips hold what a person unpacks. Each test holds a Wine session of its own on
// the build folder's one prefix. Skipped where Wine or the packages are missing.
#include "tests/support/WaitUntil.h"
#include "tests/support/WineSession.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace WineTest;
using TestSupport::WaitUntil;

namespace {

const std::string Version = VELL_VERSION;
const std::string Settings = "HKCU\\Software\\VellWriter";
const std::string Registration =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VellWriter";
const std::set<std::string> Installed = {"VellWriter.exe", ABOUT_PICTURE_NAME, "Uninstall.exe"};

std::string Package(const std::string& arch, const std::string& name) {
    return TWineSession::Program(arch, "packages/" + name);
}
std::string Installer() {
    return Package("i686", "VellWriter-" + Version + "-setup.exe");
}
std::string Opener() {
    return TWineSession::Program("i686", "installer-tests/open-and-close.exe");
}

struct TRun {
    int exit = -1;
    std::string output;
};

// A program under Wine (a Windows file, or one of Wine's own such as "reg") to its end; its
// output with Windows line ends made Unix ones.
TRun Wine(const TWineSession& session, const std::vector<std::string>& args) {
    std::vector<std::string> line = {WINE_PROGRAM};
    line.insert(line.end(), args.begin(), args.end());
    const std::string output = session.Folder() + "/run.txt";
    TChildProcess child(line, session.Environment(), {.outputFile = output, .appendOutput = false});
    TRun run{child.WaitExit(kPatience * 2), {}};
    for (const char c : ReadFile(output))
        if (c != '\r')
            run.output += c;
    return run;
}

bool KeyExists(const TWineSession& session, const std::string& key) {
    return Wine(session, {"reg", "query", key}).exit == 0;
}

// A text value as `reg query` shows it: "    <name>    REG_SZ    <text>".
std::string TextValue(const TWineSession& session, const std::string& key,
                      const std::string& name) {
    const std::string output = Wine(session, {"reg", "query", key, "/v", name}).output;
    const size_t type = output.find("REG_SZ");
    if (type == std::string::npos)
        return {};
    const size_t begin = output.find_first_not_of(' ', type + 6);
    const size_t end = output.find_first_of("\r\n", begin);
    return begin == std::string::npos ? std::string() : output.substr(begin, end - begin);
}

// The Start-menu entries named "Vell Writer" of the prefix's users.
std::vector<fs::path> StartMenuEntries() {
    std::vector<fs::path> entries;
    std::error_code ec;
    for (const auto& user : fs::directory_iterator(TWineSession::Prefix() + "/drive_c/users", ec)) {
        const fs::path entry = user.path() / "AppData/Roaming/Microsoft/Windows/Start Menu" /
                               "Programs/Vell Writer.lnk";
        if (fs::exists(entry))
            entries.push_back(entry);
    }
    return entries;
}

std::set<std::string> FilesIn(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& file : fs::directory_iterator(folder, ec))
        names.insert(file.path().filename().string());
    return names;
}

class WindowsInstaller : public testing::Test {
protected:
    void SetUp() override {
        const std::string missing = TWineSession::Missing({Installer(), Opener()});
        if (!missing.empty())
            GTEST_SKIP() << missing << " (makensis is needed too)";
        m_session = std::make_unique<TWineSession>();
        m_folder = m_session->Folder() + "/Vell Writer";
        m_hadSettings = KeyExists(*m_session, Settings);
    }
    void TearDown() override {
        if (!m_session)
            return;
        // What a failed uninstall left would fail the next run's install.
        Wine(*m_session, {"reg", "delete", Registration, "/f"});
        for (const fs::path& entry : StartMenuEntries())
            fs::remove(entry);
        // The settings key is the prefix's: only what this test wrote goes.
        if (m_hadSettings)
            Wine(*m_session, {"reg", "delete", Settings, "/v", "InstallerTest", "/f"});
        else
            Wine(*m_session, {"reg", "delete", Settings, "/f"});
    }

    void Install() {
        ASSERT_TRUE(StartMenuEntries().empty()) << "a Vell Writer entry is in the Start menu";
        // The installer takes its folder only unquoted, spaces and all, at the end of its command
        // line: Wine would quote it as an argument of its own, cmd passes its line as it is.
        const TRun run =
            Wine(*m_session,
                 {"cmd", "/c", WindowsPath(Installer()) + " /S /D=" + WindowsPath(m_folder)});
        ASSERT_EQ(run.exit, 0) << run.output;
        EXPECT_EQ(FilesIn(m_folder), Installed);
        ASSERT_EQ(StartMenuEntries().size(), 1u);
        EXPECT_EQ(TextValue(*m_session, Registration, "DisplayVersion"), Version);
    }

    // Runs the uninstaller as Add/Remove Programs does, quietly, and waits until it is done
    // with the files; it runs on from a copy of itself after the started one has ended.
    void Uninstall(const std::set<std::string>& left) {
        const std::string command = TextValue(*m_session, Registration, "QuietUninstallString");
        const std::string program = m_folder + "/Uninstall.exe";
        ASSERT_EQ(command, '"' + WindowsPath(program) + "\" /S");
        // The person's settings, as the program leaves them when it closes.
        ASSERT_EQ(Wine(*m_session, {"reg", "add", Settings, "/v", "InstallerTest", "/t",
                                    "REG_DWORD", "/d", "1", "/f"})
                      .exit,
                  0);
        const TRun run = Wine(*m_session, {program, "/S"});
        ASSERT_EQ(run.exit, 0) << run.output;
        const auto turn = [] { std::this_thread::sleep_for(200ms); };
        // The folder goes only when nothing is left in it.
        const auto done = [&] {
            return FilesIn(m_folder) == left && fs::exists(m_folder) == !left.empty();
        };
        EXPECT_TRUE(WaitUntil(done, kPatience, turn)) << testing::PrintToString(FilesIn(m_folder))
                                                      << ", folder there: " << fs::exists(m_folder);
        EXPECT_TRUE(
            WaitUntil([&] { return !KeyExists(*m_session, Registration); }, kPatience, turn));
        EXPECT_TRUE(StartMenuEntries().empty());
        EXPECT_TRUE(KeyExists(*m_session, Settings)) << "the uninstaller took the settings";
    }

    std::unique_ptr<TWineSession> m_session;
    std::string m_folder;
    bool m_hadSettings = false;
};

TEST_F(WindowsInstaller, InstallsAProgramItsStartMenuEntryOpensAndUninstallsAllButSettings) {
    ASSERT_NO_FATAL_FAILURE(Install());
    const TRun run =
        Wine(*m_session, {Opener(), WindowsPath(StartMenuEntries().at(0)), "TSDIAppForm"});
    ASSERT_EQ(run.exit, 0) << run.output;
    EXPECT_EQ(run.output, "program " + WindowsPath(m_folder + "/VellWriter.exe") +
                              "\ncaption Vell Writer 1.0.1\nexit 0\n");
    Uninstall({});
}

TEST_F(WindowsInstaller, UninstallLeavesThePersonsTransferProgramAndItsFolder) {
    ASSERT_NO_FATAL_FAILURE(Install());
    std::ofstream(m_folder + "/Vell_par.exe") << "the person's own";
    Uninstall({"Vell_par.exe"});
    EXPECT_EQ(ReadFile(m_folder + "/Vell_par.exe"), "the person's own");
}

TEST(WindowsPackages, ZipHoldsOneFolderWithTheProgramItsPictureAndAReadme) {
    for (const auto& [arch, bits] : {std::pair{"i686", "win32"}, std::pair{"x86_64", "win64"}}) {
        const std::string name = "VellWriter-" + Version + "-" + bits;
        const std::string zip = Package(arch, name + ".zip");
        if (!fs::exists(zip))
            GTEST_SKIP() << zip << " is not built (mingw-w64 is needed)";
        TChildProcess lister({CMAKE_PROGRAM, "-E", "tar", "tf", zip}, {}, {.outputPipe = true});
        std::set<std::string> files;
        while (const std::optional<std::string> line = lister.ReadLine())
            if (!line->empty() && line->back() != '/')
                files.insert(*line);
        ASSERT_EQ(lister.WaitExit(), 0) << zip;
        EXPECT_EQ(files,
                  (std::set<std::string>{name + "/VellWriter.exe", name + "/" + ABOUT_PICTURE_NAME,
                                         name + "/ReadMe.txt"}))
            << zip;
    }
}

} // namespace
