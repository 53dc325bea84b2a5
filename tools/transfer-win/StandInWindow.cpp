#include "tools/transfer-win/StandInWindow.h"

#include "external/BridgeProtocol.h"
#include "external/WinText.h"
#include "tools/transfer-win/Record.h"
#include "tools/transfer-win/WinePaths.h"

#include <cstdio>
#include <windowsx.h>

namespace {

constexpr wchar_t kClassName[] = L"VellParStandIn";
constexpr int kCloseButton = 100;

std::string Number(HWND window) {
    return std::to_string(int64_t(intptr_t(window)));
}

std::wstring InputText(HWND input) {
    const int length = ::GetWindowTextLengthW(input);
    std::wstring text(size_t(std::max(length, 0)) + 1, L'\0');
    text.resize(size_t(::GetWindowTextW(input, text.data(), length + 1)));
    return text;
}

} // namespace

bool TStandInWindow::Create(HINSTANCE instance, int showCommand) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &TStandInWindow::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    if (::RegisterClassExW(&windowClass) == 0)
        return false;
    m_window =
        ::CreateWindowExW(0, kClassName, L"Vell_par (stand-in)",
                          WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                          CW_USEDEFAULT, 520, 150, nullptr, nullptr, instance, this);
    if (m_window == nullptr)
        return false;

    RECT inputClient{};
    ::GetClientRect(m_input, &inputClient);
    Record("window " + Number(m_window) + " input " + Number(m_input) + " " +
           std::to_string(inputClient.right) + " " + std::to_string(inputClient.bottom));
    ::ShowWindow(m_window, showCommand);
    ::SetForegroundWindow(m_window);
    ::UpdateWindow(m_window);
    m_shown = true;
    Record(::IsIconic(m_window) ? "shown minimised" : "shown normal");
    Record(::GetForegroundWindow() == m_window ? "foreground yes" : "foreground no");
    return true;
}

void TStandInWindow::MakeControls() {
    const HINSTANCE instance =
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(m_window, GWLP_HINSTANCE));
    // Made in tab order: the input first.
    m_input = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 12, 12, 480,
                                24, m_window, nullptr, instance, nullptr);
    m_status = ::CreateWindowExW(0, L"STATIC", L"Paste the image's path into the input.",
                                 WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP, 12, 46, 480, 20,
                                 m_window, nullptr, instance, nullptr);
    m_close = ::CreateWindowExW(0, L"BUTTON", L"Close", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 412, 76,
                                80, 26, m_window, reinterpret_cast<HMENU>(intptr_t(kCloseButton)),
                                instance, nullptr);
    const LPARAM font = reinterpret_cast<LPARAM>(::GetStockObject(DEFAULT_GUI_FONT));
    for (HWND control : {m_input, m_status, m_close})
        ::SendMessageW(control, WM_SETFONT, WPARAM(font), FALSE);
    ::SetWindowLongPtrW(m_input, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_inputProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
        m_input, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TStandInWindow::InputProc)));
    m_delivery = std::make_unique<TDelivery>(m_window);
}

LRESULT CALLBACK TStandInWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<TStandInWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_window = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TStandInWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    return self != nullptr ? self->OnMessage(message, wParam, lParam)
                           : ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK TStandInWindow::InputProc(HWND input, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TStandInWindow*>(::GetWindowLongPtrW(input, GWLP_USERDATA));
    if (message == WM_LBUTTONDOWN)
        Record("click " + std::to_string(GET_X_LPARAM(lParam)) + " " +
               std::to_string(GET_Y_LPARAM(lParam)) + " " + std::to_string(wParam));
    const LRESULT result = ::CallWindowProcW(self->m_inputProc, input, message, wParam, lParam);
    if (message == WM_PASTE)
        self->Pasted();
    return result;
}

LRESULT TStandInWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: MakeControls(); return 0;
    case WM_SIZE:
        if (m_shown && wParam == SIZE_MINIMIZED)
            Record("minimised");
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == kCloseButton && HIWORD(wParam) == BN_CLICKED)
            ::PostMessageW(m_window, WM_CLOSE, 0, 0);
        return 0;
    case TDelivery::kProgressMessage:
        SetStatus(L"Sending: " + std::to_wstring(wParam) + L"%");
        return 0;
    case TDelivery::kEndMessage: {
        const std::unique_ptr<TDeliveryResult> result(reinterpret_cast<TDeliveryResult*>(lParam));
        Ended(*result);
        return 0;
    }
    case WM_CLOSE:
        Record("close");
        m_delivery->Cancel();
        ::DestroyWindow(m_window);
        return 0;
    case WM_DESTROY: ::PostQuitMessage(0); return 0;
    default: break;
    }
    return ::DefWindowProcW(m_window, message, wParam, lParam);
}

void TStandInWindow::Pasted() {
    const std::wstring text = InputText(m_input);
    Record("paste " + Bridge::Escape(Narrow(text)));
    if (m_delivery->Running()) {
        SetStatus(L"Still sending the last image: this paste is ignored.");
        return;
    }
    // A Unix path, as a person might paste it, is read through the Z: drive.
    if (!m_delivery->Start(WindowsPathOf(text)))
        SetStatus(L"Failed: cannot start the delivery.");
    else
        SetStatus(L"Sending...");
}

void TStandInWindow::Ended(const TDeliveryResult& result) {
    if (result.Delivered) {
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08x", unsigned(result.Crc));
        Record("delivered " + std::to_string(result.Size) + " " + crc);
        SetStatus(L"Done: " + std::to_wstring(result.Size) + L" bytes delivered, CRC-32 " +
                  Widen(crc) + L".");
    } else {
        Record("failed " + Bridge::Escape(result.Problem));
        SetStatus(L"Failed: " + Widen(result.Problem));
    }
}

void TStandInWindow::SetStatus(const std::wstring& text) {
    ::SetWindowTextW(m_status, text.c_str());
}
