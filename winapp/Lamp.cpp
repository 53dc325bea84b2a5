#include "winapp/Lamp.h"

#include "serial/ComError.h"
#include "serial/ComPort.h"
#include "serial/ExceptionHandler.h"
#include "winapp/ControlIds.h"

namespace {
constexpr UINT_PTR RingTimer = 1;
} // namespace

void TLamp::RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.lpszClassName = WinIds::ComLedClass;
    RegisterClassW(&windowClass);
}

TLamp::TLamp(HWND parent, int id, HIMAGELIST images)
    : TComponent(nullptr), m_images(images), m_link(std::make_unique<TComLink>()) {
    m_window = CreateWindowExW(0, WinIds::ComLedClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 25, 25,
                               parent, HMENU(INT_PTR(id)), GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(m_window, GWLP_USERDATA, LONG_PTR(this));
    m_link->OnConn = [this](TObject*, bool OnOff) { SignalChange(OnOff); };
}

TLamp::~TLamp() {
    // Leaving the port reports the lamp off; a destructor passes no failure on.
    try {
        SetComPort(nullptr);
    } catch (...) {
        HandleException(this);
    }
    if (m_window != nullptr) {
        SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
        DestroyWindow(m_window);
    }
}

void TLamp::SetComPort(TComPort* Value) {
    if (Value == FComPort)
        return;
    if (FComPort != nullptr)
        FComPort->UnRegisterLink(m_link.get());
    FComPort = Value;
    if (FComPort == nullptr) {
        SetStateInternal(lsOff);
        return;
    }
    FComPort->FreeNotification(this);
    FComPort->RegisterLink(m_link.get());
    if (FComPort->Connected())
        SetStateInternal(IsStateOn() ? lsOn : lsOff);
}

void TLamp::SetLedSignal(TComLedSignal Value) {
    if (Value == FLedSignal)
        return;
    FLedSignal = Value;
    *m_link = TComLink{};
    const auto signal = [this](TObject*, bool OnOff) { SignalChange(OnOff); };
    switch (Value) {
    case lsConn: m_link->OnConn = signal; break;
    case lsCTS: m_link->OnCTSChange = signal; break;
    case lsDSR: m_link->OnDSRChange = signal; break;
    case lsRLSD: m_link->OnRLSDChange = signal; break;
    case lsRx: m_link->OnRx = signal; break;
    case lsTx: m_link->OnTx = signal; break;
    case lsRing:
        m_link->OnRing = [this](TObject*) {
            // In a series of rings the lamp goes dark a ring duration after the first.
            if (!m_ringing && SetTimer(m_window, RingTimer, UINT(m_ringDuration), nullptr) != 0)
                m_ringing = true;
            SetStateInternal(lsOn);
        };
        break;
    }
}

void TLamp::SetKind(TLedKind Value) {
    FKind = Value;
    InvalidateRect(m_window, nullptr, TRUE);
}

void TLamp::SetState(TLedState Value) {
    if (FComPort != nullptr)
        throw EComPort(CError_LedStateFailed);
    SetStateInternal(Value);
}

bool TLamp::IsStateOn() {
    if (FComPort == nullptr || !FComPort->Connected())
        return false;
    switch (FLedSignal) {
    case lsConn: return true;
    case lsCTS: return FComPort->Signals().Contains(csCTS);
    case lsDSR: return FComPort->Signals().Contains(csDSR);
    case lsRLSD: return FComPort->Signals().Contains(csRLSD);
    default: return false;
    }
}

void TLamp::SignalChange(bool OnOff) {
    SetStateInternal(OnOff ? lsOn : lsOff);
    // A dispatch can go on for long (a close waits for its event thread): show the new state
    // now, not when the dispatch is over.
    UpdateWindow(m_window);
}

void TLamp::SetStateInternal(TLedState Value) {
    FState = Value;
    if (m_window != nullptr)
        InvalidateRect(m_window, nullptr, TRUE);
    // Every report counts, an unchanged one too.
    if (OnChange)
        OnChange(this, Value);
}

void TLamp::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent != nullptr && AComponent == FComPort)
        SetComPort(nullptr);
}

void TLamp::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_window, &paint);
    RECT client;
    GetClientRect(m_window, &client);
    // A disabled lamp shows nothing lit; a custom lamp has no built-in pictures.
    if (FKind != lkCustom) {
        const bool lit = FState == lsOn && IsWindowEnabled(m_window);
        const int image = int(FKind) * 2 + (lit ? 0 : 1);
        const int x = client.right > 15 ? (client.right - 15) / 2 : 0;
        const int y = client.bottom > 15 ? (client.bottom - 15) / 2 : 0;
        ImageList_Draw(m_images, image, dc, x, y, ILD_TRANSPARENT);
    }
    EndPaint(m_window, &paint);
}

LRESULT CALLBACK TLamp::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* lamp = reinterpret_cast<TLamp*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (lamp != nullptr) {
        switch (message) {
        case WM_PAINT: lamp->Paint(); return 0;
        case WM_ERASEBKGND: {
            // The panel's face behind the picture.
            RECT client;
            GetClientRect(window, &client);
            FillRect(HDC(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
            return 1;
        }
        case WM_ENABLE: InvalidateRect(window, nullptr, TRUE); return 0;
        case WM_TIMER:
            if (wParam == RingTimer) {
                KillTimer(window, RingTimer);
                lamp->m_ringing = false;
                try {
                    lamp->SetStateInternal(lsOff);
                } catch (...) {
                    HandleException(lamp);
                }
                return 0;
            }
            break;
        case WinIds::LampGetState: return lamp->FState;
        case WinIds::LampGetKind: return lamp->FKind;
        default: break;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
