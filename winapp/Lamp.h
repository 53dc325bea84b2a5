#pragma once
// The signal lamp on Windows: a small child window that shows one line of a serial port
// (connection, CTS, DSR, RLSD, ring) lit or dark, drawn from the lamp pictures. It follows
// its port through a link, so the owner only gives it the port and the signal; every state it
// is given is reported through OnChange, repeats included, because the window notices the
// receiver being switched on or off by the DSR and RLSD lamps' reports. A hidden lamp still
// follows its line. Programs read it with WinIds::LampGetState and LampGetKind.
//
// UI thread only; the port's notifications must arrive there (smThreadSync or smWindowSync).

#include "controls/LedTypes.h"
#include "serial/ComLink.h"
#include "serial/Component.h"
#include "winapp/WinApi.h"

#include <functional>
#include <memory>

class TComPort;

class TLamp : public TComponent {
public:
    using TChange = std::function<void(TObject* Sender, TLedState State)>;

    // A lamp window of `id` in `parent`; `images` are the lamp pictures (Pictures.h), shared.
    TLamp(HWND parent, int id, HIMAGELIST images);
    TLamp(const TLamp&) = delete;
    TLamp& operator=(const TLamp&) = delete;
    ~TLamp() override;

    const char* ClassName() const override { return "TComLed"; }
    HWND Handle() const { return m_window; }

    TComPort* ComPort() const { return FComPort; }
    void SetComPort(TComPort* Value);
    TComLedSignal LedSignal() const { return FLedSignal; }
    void SetLedSignal(TComLedSignal Value);
    TLedKind Kind() const { return FKind; }
    void SetKind(TLedKind Value);
    TLedState State() const { return FState; }
    // Only without a port: a followed port decides the state (EComPort code 19 otherwise).
    void SetState(TLedState Value);
    int RingDuration() const { return m_ringDuration; }
    void SetRingDuration(int Milliseconds) { m_ringDuration = Milliseconds; }
    // Whether the followed line is on at the port now; a ring is an event and never reads on.
    bool IsStateOn();

    TChange OnChange;

    static void RegisterWindowClass(HINSTANCE instance);

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    void SignalChange(bool OnOff);
    // Every path that changes the state ends here: repainted, then reported.
    void SetStateInternal(TLedState Value);

    HWND m_window = nullptr;
    HIMAGELIST m_images;
    std::unique_ptr<TComLink> m_link;
    TComPort* FComPort = nullptr;
    TComLedSignal FLedSignal = lsConn;
    TLedKind FKind = lkRedLight;
    TLedState FState = lsOff;
    int m_ringDuration = 1000;
    bool m_ringing = false;
};
