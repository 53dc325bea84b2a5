#include "tools/window-bridge/BridgeCalls.h"

#include "external/BridgeProtocol.h"
#include "external/Win32Windows.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>

namespace {

constexpr uint32_t kInvalidParameter = 87; // ERROR_INVALID_PARAMETER

// A window handle or message parameter of this build: a 32-bit build takes values that fit
// 32 bits, signed (handles, lParam) or unsigned (wParam).
bool FitsPointer(int64_t value) {
    if constexpr (sizeof(intptr_t) >= sizeof(int64_t))
        return true;
    return value >= INT32_MIN && value <= int64_t(UINT32_MAX);
}

} // namespace

std::string AnswerRequest(TWin32Windows& windows, std::string_view line) {
    const std::optional<Bridge::TRequest> request = Bridge::ParseRequest(line);
    if (!request || !std::all_of(request->Numbers.begin(), request->Numbers.end(), FitsPointer))
        return Bridge::FormatAnswer({0, kInvalidParameter, {}, Bridge::NumberOf(line)});
    const std::string& call = request->Call;
    const std::vector<int64_t>& n = request->Numbers;
    const auto handle = [&n](size_t i) { return Win::HWND(n[i]); };

    Bridge::TAnswer answer;
    answer.Number = request->Number;
    if (call == "WinExec") {
        const int showMode = int(std::clamp<int64_t>(n[0], -1, INT_MAX));
        answer.Value = windows.WinExec(request->Text, showMode);
        if (answer.Value == 0)
            answer.Text = windows.StartFailure();
    } else if (call == "GetForegroundWindow") {
        answer.Value = windows.GetForegroundWindow();
    } else if (call == "CloseWindow") {
        answer.Value = windows.CloseWindow(handle(0));
    } else if (call == "GetNextDlgTabItem") {
        answer.Value = windows.GetNextDlgTabItem(handle(0), handle(1), n[2] != 0);
    } else if (call == "SendMessage") {
        if (n[1] < 0 || n[1] > int64_t(UINT32_MAX))
            return Bridge::FormatAnswer({0, kInvalidParameter, {}, request->Number});
        answer.Value =
            windows.SendMessage(handle(0), uint32_t(n[1]), uintptr_t(n[2]), intptr_t(n[3]));
    } else if (call == "IsWindow") {
        answer.Value = windows.IsWindow(handle(0));
    } else if (call == "SetClipboardText") {
        answer.Value = windows.PutClipboardText(request->Text);
    } else if (call == "ExitStatus") {
        const std::optional<uint32_t> status = windows.ExitStatus();
        answer.Value = status ? int64_t(*status) : -1;
    } else { // Sleep
        windows.Sleep(int(std::clamp<int64_t>(n[0], 0, INT_MAX)));
        answer.Value = 1;
    }
    answer.Error = windows.LastError();
    return Bridge::FormatAnswer(answer);
}
