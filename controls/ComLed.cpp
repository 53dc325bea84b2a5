#include "controls/ComLed.h"

#include "controls/LampSignal.h"
#include "controls/LedBitmaps.h"
#include "serial/ExceptionHandler.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <algorithm>

namespace {

// The picture with every pixel of its lower-left pixel's colour made transparent, which is
// how the lamp's pictures mark what is not lamp.
QImage WithTransparentColour(const QImage& picture) {
    if (picture.isNull())
        return {};
    QImage result = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = qRgb(qRed(result.pixel(0, result.height() - 1)),
                                  qGreen(result.pixel(0, result.height() - 1)),
                                  qBlue(result.pixel(0, result.height() - 1)));
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x)
            if ((line[x] & RGB_MASK) == (transparent & RGB_MASK))
                line[x] = 0;
    }
    return result;
}

struct TBuiltIn {
    const char* On;
    const char* Off;
};

// By TLedKind; lkCustom has none.
constexpr TBuiltIn BuiltIns[] = {
    {"LEDREDON", "LEDREDOFF"},       {"LEDGREENON", "LEDGREENOFF"},   {"LEDBLUEON", "LEDBLUEOFF"},
    {"LEDYELLOWON", "LEDYELLOWOFF"}, {"LEDPURPLEON", "LEDPURPLEOFF"}, {"LEDBULBON", "LEDBULBOFF"},
};
static_assert(std::size(BuiltIns) == size_t(lkCustom), "one pair per kind but lkCustom");

} // namespace

TComLed::TComLed(TComponent* AOwner, QWidget* parent)
    : QWidget(parent), TComponent(AOwner), m_ringTimer(std::make_unique<QTimer>()),
      m_link(std::make_unique<TComLink>()) {
    setFocusPolicy(Qt::NoFocus);
    resize(25, 25);
    // The initial LedSignal is lsConn.
    LampSignal::Follow(
        *m_link, FLedSignal, [this](bool on) { SignalChange(nullptr, on); },
        [this] { RingDetect(nullptr); });
    // Not started, so not running; RingDetect starts it. Precise: a coarse timer may end a
    // ring up to a twentieth of RingDuration early or late, and a long one to the second.
    m_ringTimer->setTimerType(Qt::PreciseTimer);
    m_ringTimer->setInterval(1000);
    connect(m_ringTimer.get(), &QTimer::timeout, this, [this] { RingTimerTick(); });
}

TComLed::~TComLed() {
    m_ringTimer.reset();
    m_glyphs = {};
    // Leaving the port unregisters the link before it is freed and reports the lamp off, through
    // this class's own DoChange (a derived lamp is gone by now). A destructor must not pass a
    // failure on (an owner's OnChange that raised, a link the port did not know): it is
    // reported instead.
    try {
        SetComPort(nullptr);
    } catch (...) {
        HandleException(this);
    }
    m_link.reset();
}

// --- Properties -------------------------------------------------------------------------------

void TComLed::SetComPort(TComPort* Value) {
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
    // A form being loaded or designed must not touch the device; a closed port reports its
    // lines itself when it opens.
    if (FComPort->Connected() && !Designing() && !Loading())
        SetStateInternal(IsStateOn() ? lsOn : lsOff);
}

void TComLed::SetLedSignal(TComLedSignal Value) {
    if (Value == FLedSignal)
        return;
    FLedSignal = Value;
    LampSignal::Follow(
        *m_link, Value, [this](bool on) { SignalChange(nullptr, on); },
        [this] { RingDetect(nullptr); });
    // The lamp keeps what it shows until the new signal is next reported: reading the port
    // here would fire OnChange for a line that did not change.
}

void TComLed::SetKind(TLedKind Value) {
    if (Value == FKind)
        return;
    FKind = Value;
    LoadBuiltInGlyphs();
    update();
}

void TComLed::SetState(TLedState Value) {
    if (FComPort != nullptr)
        throw EComPort(CError_LedStateFailed);
    SetStateInternal(Value);
}

QImage TComLed::Glyph(int Index) const {
    switch (Index) {
    case 0: return m_glyphs[lsOn];
    case 1: return m_glyphs[lsOff];
    default: return {};
    }
}

void TComLed::SetGlyph(int Index, const QImage& Value) {
    // The built-in kinds keep their own pictures.
    if (FKind != lkCustom)
        return;
    switch (Index) {
    case 0: m_glyphs[lsOn] = WithTransparentColour(Value); break;
    case 1: m_glyphs[lsOff] = WithTransparentColour(Value); break;
    default: return;
    }
    update();
}

void TComLed::SetGlyph(int Index, const QPixmap& Value) {
    SetGlyph(Index, Value.toImage());
}

int TComLed::RingDuration() const {
    return m_ringTimer->interval();
}

void TComLed::SetRingDuration(int Milliseconds) {
    m_ringTimer->setInterval(Milliseconds);
}

bool TComLed::IsStateOn() {
    return LampSignal::IsOn(FComPort, FLedSignal);
}

QPoint TComLed::GlyphPosition(const QRect& client, const QSize& glyph) {
    return {std::max(0, (client.width() - glyph.width()) / 2) + client.left(),
            std::max(0, (client.height() - glyph.height()) / 2) + client.top()};
}

// --- Reports ----------------------------------------------------------------------------------

void TComLed::DoChange(TLedState AState) {
    if (OnChange)
        OnChange(this, AState);
}

void TComLed::SetStateInternal(TLedState Value) {
    FState = Value;
    // The repaint is asked for first so that an OnChange that raises still leaves the lamp
    // showing the state it has.
    update();
    // Every report counts, an unchanged one too: the owner may count reports, not changes.
    if (!Loading())
        DoChange(Value); // NOLINT(clang-analyzer-optin.cplusplus.VirtualCall): see the destructor
}

void TComLed::SignalChange(TObject*, bool OnOff) {
    SetStateInternal(OnOff ? lsOn : lsOff);
    // A port's dispatch can go on for long (a close waits for its event thread; a handler
    // after ours may block): letting the UI thread run its pending work here shows the lamp's
    // new state at once, instead of when the whole dispatch is over.
    QCoreApplication::processEvents();
}

void TComLed::RingDetect(TObject*) {
    // A running timer is left alone: in a series of rings the lamp goes off RingDuration
    // after the ring that lit it, not after the last one.
    if (!m_ringTimer->isActive())
        m_ringTimer->start();
    SetStateInternal(lsOn);
}

void TComLed::RingTimerTick() {
    m_ringTimer->stop();
    SetStateInternal(lsOff);
}

// --- Removal notice ---------------------------------------------------------------------------

void TComLed::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    // The port sends its notice while its links are still there: unregister as usual.
    if (Operation == opRemove && AComponent != nullptr && AComponent == FComPort)
        SetComPort(nullptr);
}

// --- Painting ---------------------------------------------------------------------------------

void TComLed::LoadBuiltInGlyphs() {
    if (FKind == lkCustom)
        return;
    m_glyphs[lsOn] = WithTransparentColour(LedBitmap(BuiltIns[FKind].On));
    m_glyphs[lsOff] = WithTransparentColour(LedBitmap(BuiltIns[FKind].Off));
}

void TComLed::paintEvent(QPaintEvent*) {
    if (m_glyphs[lsOn].isNull() || m_glyphs[lsOff].isNull())
        LoadBuiltInGlyphs();
    // A disabled lamp shows nothing lit, whatever its state.
    const QImage& glyph = m_glyphs[isEnabled() ? FState : lsOff];
    if (glyph.isNull())
        return; // a custom lamp without that picture
    QPainter painter(this);
    painter.drawImage(GlyphPosition(rect(), glyph.size()), glyph);
}

void TComLed::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange)
        update();
    QWidget::changeEvent(event);
}
