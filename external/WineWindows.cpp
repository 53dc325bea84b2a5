#include "external/WineWindows.h"

#include "external/OthersMayChange.h"
#include "external/WindowsNameRule.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <cstdint>
#include <cstdio>

namespace {

std::string Seconds(int milliseconds) {
    return std::to_string((milliseconds + 999) / 1000) + " s";
}

// Tells the call awaited for as long as it lives, on every way out of the call.
class TWaitingTold {
public:
    TWaitingTold(const std::function<void(const std::string&)>& waiting, const std::string& call)
        : m_waiting(waiting) {
        if (m_waiting)
            m_waiting(call);
    }
    ~TWaitingTold() {
        if (m_waiting)
            m_waiting({});
    }
    TWaitingTold(const TWaitingTold&) = delete;
    TWaitingTold& operator=(const TWaitingTold&) = delete;

private:
    const std::function<void(const std::string&)>& m_waiting;
};

} // namespace

TWineWindows::TWineWindows(TWineSetup setup) : m_setup(std::move(setup)) {}

TWineWindows::~TWineWindows() {
    EndBridge();
}

bool TWineWindows::WinExec(const std::string& commandLine, int showMode) {
    m_startRefused = false; // a new run tries Wine again
    m_startFailure.clear();
    // It would run as this user: it may not be another user's to change (nor the bridge).
    if (std::string why = OthersMayChange(commandLine); !why.empty()) {
        m_startFailure = why;
        return false;
    }
    if (!m_bridge && !StartBridge())
        return false;
    // The bridge quotes a command line that names a program file as a whole.
    const auto answer = Call({"WinExec", {showMode}, WineName(commandLine)}, m_setup.ExecMs);
    if (!answer) {
        m_startFailure = "the window bridge that runs it under Wine failed: " + m_bridgeFailure;
        return false;
    }
    if (answer->Value == 0) {
        m_startFailure = !answer->Text.empty() ? Bridge::CleanText(answer->Text)
                                               : "Windows refused to start it (error " +
                                                     std::to_string(answer->Error) + ")";
        return false;
    }
    return true;
}

Win::HWND TWineWindows::GetForegroundWindow() {
    const auto answer = Call({"GetForegroundWindow", {}, {}}, m_setup.CallMs);
    return answer ? answer->Value : 0;
}

bool TWineWindows::CloseWindow(HWND window) {
    const auto answer = Call({"CloseWindow", {window}, {}}, m_setup.CallMs);
    return answer && answer->Value != 0;
}

Win::HWND TWineWindows::GetNextDlgTabItem(HWND dialog, HWND control, bool previous) {
    const auto answer =
        Call({"GetNextDlgTabItem", {dialog, control, previous ? 1 : 0}, {}}, m_setup.CallMs);
    return answer ? answer->Value : 0;
}

intptr_t TWineWindows::SendMessage(HWND window, uint32_t message, uintptr_t wParam,
                                   intptr_t lParam) {
    const auto answer =
        Call({"SendMessage", {window, int64_t(message), int64_t(wParam), int64_t(lParam)}, {}},
             m_setup.CallMs);
    return answer ? intptr_t(answer->Value) : 0;
}

bool TWineWindows::IsWindow(HWND window) {
    if (window == 0)
        return false;
    const auto answer = Call({"IsWindow", {window}, {}}, m_setup.CallMs);
    return answer && answer->Value != 0;
}

void TWineWindows::SetClipboardText(const std::string& text) {
    // The transfer program takes the path as Windows names it.
    Call({"SetClipboardText", {}, WineName(text)}, m_setup.CallMs);
}

void TWineWindows::Sleep(int milliseconds) {
    if (milliseconds > 0)
        QThread::msleep(ulong(milliseconds));
}

std::vector<std::string> TWineWindows::StartFindings(const std::string& program) {
    std::vector<std::string> findings;
    if (m_setup.RouteCheck)
        findings = m_setup.RouteCheck(program);
    for (const std::string& finding : findings)
        std::fprintf(stderr, "Vell Writer: %s\n", finding.c_str());
    return findings;
}

std::string TWineWindows::PathProblem(const std::string& program, const std::string& path) {
    (void)program;
    return WindowsNameProblem(path);
}

std::optional<uint32_t> TWineWindows::ExitStatus() {
    if (!m_bridge)
        return std::nullopt;
    const auto answer = Call({"ExitStatus", {}, {}}, m_setup.CallMs);
    if (!answer || answer->Value < 0 || answer->Value > int64_t(UINT32_MAX))
        return std::nullopt;
    return uint32_t(answer->Value);
}

std::vector<TWineWindows::TDrive> TWineWindows::ReadDrives(const std::string& dosdevices) {
    std::vector<TDrive> drives;
    const QDir folder(QString::fromStdString(dosdevices));
    for (const QFileInfo& entry :
         folder.entryInfoList({QStringLiteral("?:")}, QDir::AllEntries | QDir::System)) {
        const QChar letter = entry.fileName().at(0).toLower();
        if (!entry.isSymLink() || letter < u'a' || letter > u'z')
            continue;
        const QString target = entry.canonicalFilePath(); // a relative link too
        if (!target.isEmpty())
            drives.emplace_back(char(letter.unicode()), target.toStdString());
    }
    return drives;
}

std::string TWineWindows::WinePath(const std::string& path, const std::vector<TDrive>& drives) {
    char letter = 'z';
    std::string rest = path;
    size_t closest = 0;
    for (const auto& [drive, folder] : drives) {
        const bool holds =
            folder == "/" || path == folder ||
            (path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/');
        if (holds && folder.size() > closest) {
            closest = folder.size();
            letter = drive;
            rest = folder == "/" ? path : path.substr(folder.size());
        }
    }
    std::string name = std::string(1, char(letter - 'a' + 'A')) + ':';
    if (rest.empty())
        rest = "/";
    for (char c : rest)
        name += c == '/' ? '\\' : c;
    return name;
}

std::string TWineWindows::WineName(const std::string& path) const {
    // The path as given, not resolved: through Z: it names the same file, and the transfer
    // program is shown the name the user chose.
    if (path.empty() || path[0] != '/')
        return path;
    return WinePath(QDir::cleanPath(QString::fromStdString(path)).toStdString(), m_drives);
}

std::optional<Bridge::TAnswer> TWineWindows::Call(const Bridge::TRequest& request,
                                                  int milliseconds) {
    // A bridge known to have ended since its last answer (Wine's server ended under it, say)
    // is replaced before the call; one that ends with the call fails it.
    if (m_bridge && m_bridge->state() == QProcess::Running)
        m_bridge->waitForFinished(0);
    if (m_bridge && m_bridge->state() != QProcess::Running) {
        std::fprintf(stderr, "Vell Writer: the window bridge under Wine had ended; starting it "
                             "again\n");
        m_bridge.reset();
    }
    if (!m_bridge && (m_startRefused || !StartBridge())) {
        m_bridgeFailure = m_startFailure;
        return std::nullopt;
    }
    const TWaitingTold told(m_setup.Waiting, m_starting ? std::string("start") : request.Call);
    Bridge::TRequest numbered = request;
    numbered.Number = ++m_lastNumber;
    m_bridge->write(QByteArray::fromStdString(Bridge::FormatRequest(numbered) + '\n'));
    const QDeadlineTimer deadline(milliseconds);
    for (;;) {
        while (m_bridge->canReadLine()) {
            QByteArray line = m_bridge->readLine(qint64(Bridge::kMaxLine) + 2);
            if (!line.endsWith('\n')) {
                Fail("it answered with a line longer than any answer");
                return std::nullopt;
            }
            line.chop(line.endsWith("\r\n") ? 2 : 1); // a Windows console ends lines in CR LF
            const auto answer = Bridge::ParseAnswer(line.toStdString());
            if (answer && answer->Number == numbered.Number)
                return answer;
            // An answer to another request, or not an answer at all: something else under
            // Wine wrote to the bridge's output. Told, but only so often.
            if (m_ignoredTold < kMaxIgnoredTold) {
                ++m_ignoredTold;
                std::fprintf(stderr, "Vell Writer: ignored from the window bridge%s: %s\n",
                             m_ignoredTold == kMaxIgnoredTold ? " (and from now on)" : "",
                             Bridge::CleanText(line.toStdString(), 200).c_str());
            }
        }
        if (m_bridge->bytesAvailable() > qint64(Bridge::kMaxLine)) {
            Fail("it answered with a line longer than any answer");
            return std::nullopt;
        }
        if (m_bridge->state() != QProcess::Running) {
            Fail("it ended (exit code " + std::to_string(m_bridge->exitCode()) +
                 ") before it answered " + request.Call);
            return std::nullopt;
        }
        if (deadline.hasExpired()) {
            Fail("it did not answer " + request.Call + " within " + Seconds(milliseconds));
            return std::nullopt;
        }
        m_bridge->waitForReadyRead(int(deadline.remainingTime()));
    }
}

bool TWineWindows::StartBridge() {
    m_startRefused = true; // until the start below has been answered
    const QString wineName = QString::fromStdString(m_setup.Wine);
    const QString wine = wineName.contains(u'/')
                             ? (QFileInfo(wineName).isExecutable() ? wineName : QString())
                             : QStandardPaths::findExecutable(wineName);
    if (wine.isEmpty()) {
        m_startFailure = "it is a Windows program, and Wine is not installed to run it (install "
                         "the packages wine and wine32)";
        return false;
    }
    if (!QFileInfo(QString::fromStdString(m_setup.Bridge)).isFile()) {
        m_startFailure = "it is a Windows program, and the window bridge " + m_setup.Bridge +
                         " that drives it under Wine is missing";
        return false;
    }
    if (std::string why = OthersMayChange(m_setup.Bridge); !why.empty()) {
        m_startFailure =
            "the window bridge " + m_setup.Bridge + " that drives it under Wine: " + why;
        return false;
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!environment.contains(QStringLiteral("WINEDEBUG")))
        environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    m_bridge = std::make_unique<QProcess>();
    m_bridge->setProcessEnvironment(environment);
    m_bridge->setProcessChannelMode(QProcess::ForwardedErrorChannel); // Wine's own complaints
    m_bridge->start(wine, {QString::fromStdString(m_setup.Bridge)});
    if (!m_bridge->waitForStarted(m_setup.StartMs)) {
        m_startFailure = "Wine could not be started: " + m_bridge->errorString().toStdString();
        m_bridge.reset();
        return false;
    }
    // The first answer comes once Wine is up; a sleep of nothing is the cheapest question.
    m_startRefused = false;
    m_starting = true;
    const bool answered = Call({"Sleep", {0}, {}}, m_setup.StartMs).has_value();
    m_starting = false;
    if (!answered) {
        m_startRefused = true;
        m_startFailure =
            "Wine did not run the window bridge " + m_setup.Bridge + ": " + m_bridgeFailure;
        return false;
    }
    // The prefix exists now, made by Wine if it was not there.
    const QString prefix = environment.value(QStringLiteral("WINEPREFIX"),
                                             QDir::homePath() + QStringLiteral("/.wine"));
    m_drives = ReadDrives((prefix + QStringLiteral("/dosdevices")).toStdString());
    return true;
}

void TWineWindows::EndBridge() {
    if (!m_bridge)
        return;
    // The end of its requests ends the bridge; the Wine server ends by itself once the prefix
    // has nothing else running.
    m_bridge->closeWriteChannel();
    if (m_bridge->state() != QProcess::NotRunning && !m_bridge->waitForFinished(3000)) {
        m_bridge->kill();
        m_bridge->waitForFinished(3000);
    }
    m_bridge.reset();
}

void TWineWindows::Fail(const std::string& why) {
    m_bridgeFailure = why;
    std::fprintf(stderr, "Vell Writer: the window bridge under Wine failed: %s\n", why.c_str());
    // A bridge that stalls may never read again: it is not waited for.
    if (m_bridge && m_bridge->state() != QProcess::NotRunning) {
        m_bridge->kill();
        m_bridge->waitForFinished(3000);
    }
    m_bridge.reset();
}
