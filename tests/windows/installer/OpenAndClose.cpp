// open-and-close: opens a file as a person does (a program or its Start-menu shortcut), waits
// for a window of the given class, closes it as the close box does, and waits for its program
// to end. It prints one line per step, for the Linux test that runs it under Wine:
//   program <the window's program file>
//   caption <the window's caption>
//   exit <the program's exit code>
// and exits 0 once all three are printed. Every wait is bounded.
//
// Usage: open-and-close <file> <window class>

#include <cstdio>
#include <shlobj.h>
#include <string>
#include <windows.h>

namespace {

constexpr DWORD kPatienceMs = 30000;

std::string Utf8(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string out(size_t(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size, nullptr,
                          nullptr);
    return out;
}

// The file a shortcut points at; empty when it cannot be read.
std::wstring LinkTarget(const std::wstring& shortcut) {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return {};
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    wchar_t target[MAX_PATH] = {};
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IShellLinkW, reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(shortcut.c_str(), STGM_READ)))
        link->GetPath(target, MAX_PATH, nullptr, 0);
    if (file != nullptr)
        file->Release();
    if (link != nullptr)
        link->Release();
    return target;
}

int Fail(const char* step) {
    std::printf("failed %s (error %lu)\n", step, ::GetLastError());
    return 1;
}

} // namespace

int main() {
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (args == nullptr || count != 3)
        return Fail("usage: open-and-close <file> <window class>");
    // A shortcut opens its target, as the shell resolves it (Wine's ShellExecute does not).
    std::wstring file = args[1];
    if (file.size() > 4 && ::lstrcmpiW(file.c_str() + file.size() - 4, L".lnk") == 0) {
        file = LinkTarget(file);
        if (file.empty())
            return Fail("to read the shortcut");
    }
    SHELLEXECUTEINFOW open{};
    open.cbSize = sizeof open;
    open.fMask = SEE_MASK_FLAG_NO_UI;
    open.lpVerb = L"open";
    open.lpFile = file.c_str();
    open.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&open))
        return Fail("to open the file");

    HWND window = nullptr;
    for (DWORD waited = 0; window == nullptr && waited < kPatienceMs; waited += 20) {
        ::Sleep(20);
        window = ::FindWindowW(args[2], nullptr);
    }
    if (window == nullptr)
        return Fail("to find the window");
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    const HANDLE process =
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr)
        return Fail("to open the window's process");
    wchar_t path[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    if (!::QueryFullProcessImageNameW(process, 0, path, &size))
        return Fail("to read the program's file");
    std::printf("program %s\n", Utf8(std::wstring(path, size)).c_str());
    wchar_t caption[256];
    const int length = ::GetWindowTextW(window, caption, 256);
    std::printf("caption %s\n", Utf8(std::wstring(caption, size_t(length))).c_str());
    std::fflush(stdout);

    if (!::PostMessageW(window, WM_CLOSE, 0, 0))
        return Fail("to close the window");
    if (::WaitForSingleObject(process, kPatienceMs) != WAIT_OBJECT_0)
        return Fail("to see the program end");
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    std::printf("exit %lu\n", code);
    return 0;
}
