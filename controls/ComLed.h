#pragma once
// The signal lamp: a small non-focusable widget that shows one line or state of a serial port
// (connection, CTS, DSR, RLSD, ring, receive, transmit) as a lamp drawn on or off. It follows
// its port through a link, so the owner only assigns ComPort and LedSignal; every state the
// lamp is given is reported through OnChange, repeats included, because the window uses the
// DSR and RLSD lamps' reports to notice the receiver being switched on or off.
//
// Threads: UI thread only. The port's notifications must arrive there too (smThreadSync or
// smWindowSync); under smNone they would arrive on the event thread, which the lamp does not
// support.

#include "controls/LedTypes.h"
#include "serial/ComPort.h"
#include "serial/Component.h"

#include <QImage>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QTimer;

// The off- and on-picture, indexed by TLedState.
using TComLedGlyphs = std::array<QImage, 2>;
using TLedStateEvent = std::function<void(TObject* Sender, TLedState AState)>;

class TComLed : public QWidget, public TComponent {
    Q_OBJECT

public:
    // `AOwner` frees the lamp with itself, as any component; `parent` is the widget it sits on.
    explicit TComLed(TComponent* AOwner = nullptr, QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(TComLed)
    ~TComLed() override;

    const char* ClassName() const override { return "TComLed"; }

    // --- Properties -----------------------------------------------------------------------
    TComPort* ComPort() const { return FComPort; }
    void SetComPort(TComPort* Value);
    TComLedSignal LedSignal() const { return FLedSignal; }
    void SetLedSignal(TComLedSignal Value);
    TLedKind Kind() const { return FKind; }
    void SetKind(TLedKind Value);
    TLedState State() const { return FState; }
    // Only without a port: a followed port decides the state (EComPort code 19 otherwise).
    void SetState(TLedState Value);
    // Index 0 is the on-picture and 1 the off-picture (not TLedState's order); any other
    // index reads a null image. The pictures are kept with their transparent colour already
    // turned into transparent pixels.
    QImage Glyph(int Index) const;
    QImage GlyphOn() const { return Glyph(0); }
    QImage GlyphOff() const { return Glyph(1); }
    // Only for lkCustom, ignored otherwise. The lower-left pixel's colour becomes transparent.
    void SetGlyph(int Index, const QImage& Value);
    void SetGlyph(int Index, const QPixmap& Value);
    int RingDuration() const;
    void SetRingDuration(int Milliseconds);
    // Whether the followed signal is on at the port now; a ring, a receive or a transmit is
    // an event, not a line, and never reads as on.
    bool IsStateOn();

    TLedStateEvent OnChange;

    // Where a glyph of `glyph` size goes in `client`: centred, but never left of or above it.
    static QPoint GlyphPosition(const QRect& client, const QSize& glyph);
    // The timer that keeps a rung lamp lit; read-only, for owners that show it.
    const QTimer& RingTimer() const { return *m_ringTimer; }

    QSize sizeHint() const override { return {25, 25}; }

protected:
    virtual void DoChange(TLedState AState);
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

    // The timer's tick: the ring is over.
    void RingTimerTick();

    std::unique_ptr<QTimer> m_ringTimer;
    std::unique_ptr<TComLink> m_link;
    TComLedGlyphs m_glyphs;

private:
    void SignalChange(TObject* Sender, bool OnOff);
    void RingDetect(TObject* Sender);
    // Every path that changes the state ends here: reported unless loading, repeats included.
    void SetStateInternal(TLedState Value);
    void LoadBuiltInGlyphs();

    // The followed port. Its removal notice comes from the port's own destructor while its
    // links are still there, so Notification unregisters the link as usual.
    TComPort* FComPort = nullptr;
    TComLedSignal FLedSignal = lsConn;
    TLedKind FKind = lkRedLight;
    TLedState FState = lsOff;
};
