// The signal lamp as a real widget following a real port on the in-process fake line: what it
// reports and when, its ring timer, its part in the port's and its own destruction, how it
// paints, and the built-in pictures.

#include "controls/ComLed.h"

#include "controls/LedBitmaps.h"
#include "controls/LedDrawing.h"
#include "tests/support/FakeDevice.h"
#include "tests/support/ModemLines.h"
#include "tests/support/PtyPair.h"
#include "tests/support/PumpUntil.h"

#include <QApplication>
#include <QTimer>
#include <QTimerEvent>
#include <QToolButton>
#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <set>
#include <string_view>
#include <utility>

using namespace Platform;

namespace {

// A real port that also tells how many links it holds.
struct TCountingPort : TComPort {
    using TComPort::TComPort;
    size_t Links() const { return FLinks.size(); }
};

// A lamp whose ring timer can be made to expire, as the event loop would make it.
struct TLamp : TComLed {
    explicit TLamp(TComLedSignal signal = lsConn, TLedKind kind = lkRedLight) {
        SetKind(kind);
        SetLedSignal(signal);
    }
    void ExpireRingTimer() {
        QTimerEvent expiry(m_ringTimer->timerId());
        QCoreApplication::sendEvent(m_ringTimer.get(), &expiry);
    }
};

using TestSupport::PumpUntil;

class ComLedTest : public testing::Test {
protected:
    ComLedTest() {
        port.SetPort(name);
        port.Events = TComEvents(); // no event thread unless a test wants line changes
    }
    // Logs every report of each lamp under its label.
    void Follow(std::initializer_list<std::pair<TComLed*, const char*>> lamps) {
        for (auto [lamp, label] : lamps)
            lamp->OnChange = [this, lamp, label = std::string(label)](TObject* sender,
                                                                      TLedState state) {
                EXPECT_EQ(sender, static_cast<TObject*>(lamp));
                log.push_back(label + (state == lsOn ? " on" : " off"));
            };
    }
    const std::string name = "LED" + std::to_string(reinterpret_cast<uintptr_t>(this));
    std::shared_ptr<TFakeLine> line = TFakeLine::Publish(name);
    TCountingPort port{nullptr};
    std::vector<std::string> log;
};

using Log = std::vector<std::string>;

TEST_F(ComLedTest, EachLampGetsEveryReportOfItsSignalInThePortsOrder) {
    TLamp conn(lsConn), cts(lsCTS), dsr(lsDSR), rlsd(lsRLSD), ring(lsRing), rx(lsRx), tx(lsTx);
    Follow({{&conn, "conn"},
            {&cts, "cts"},
            {&dsr, "dsr"},
            {&rlsd, "rlsd"},
            {&ring, "ring"},
            {&rx, "rx"},
            {&tx, "tx"}});
    for (TComLed* lamp : {&conn, &cts, &dsr, &rlsd, &ring, &rx, &tx})
        lamp->SetComPort(&port);
    conn.OnChange = [&, follow = conn.OnChange](TObject* sender, TLedState state) {
        follow(sender, state);
        log.push_back(line->IsOpen() ? "device open" : "device closed");
    };
    port.OnBeforeClose = [&](TObject*) { log.push_back("before close"); };
    port.OnAfterClose = [&](TObject*) { log.push_back("after close"); };
    line->SetLines(MS_CTS_ON); // DSR and RLSD off
    // The lamps let the UI thread catch up during the port's dispatch.
    bool served = false;
    QMetaObject::invokeMethod(
        qApp, [&] { served = true; }, Qt::QueuedConnection);
    port.Open();
    EXPECT_TRUE(served);
    port.CallDSRChange(); // unchanged, and reported again
    port.WriteStr("AT");
    line->Send("OK");
    port.CallRxChar();
    port.CallTxEmpty();
    EXPECT_EQ(log, (Log{"conn on", "device open", "cts on", "dsr off", "rlsd off", "dsr off",
                        "tx on", "rx on", "tx off"}));
    log.clear();
    port.Close();
    EXPECT_EQ(log, (Log{"cts off", "dsr off", "rlsd off", "before close", "conn off",
                        "device closed", "after close"}));
}

TEST_F(ComLedTest, AssignedPortIsReadOnlyWhenOpenAndSignalChangesWaitForTheNextReport) {
    TLamp lamp(lsCTS);
    Follow({{&lamp, "lamp"}});
    lamp.SetState(lsOn);
    lamp.SetState(lsOn);
    lamp.SetComPort(&port); // closed: left as it was
    EXPECT_EQ(lamp.State(), lsOn);
    try {
        lamp.SetState(lsOff);
        ADD_FAILURE() << "a lamp following a port took a state";
    } catch (const EComPort& failure) {
        EXPECT_EQ(failure.ErrorCode(), CError_LedStateFailed);
    }
    EXPECT_EQ(lamp.State(), lsOn);
    lamp.SetComPort(nullptr);
    line->SetLines(MS_CTS_ON);
    port.Open();
    lamp.SetComPort(&port); // open: CTS is on now
    lamp.SetLedSignal(lsDSR);
    EXPECT_EQ(lamp.State(), lsOn); // DSR is off, but not reported yet
    port.CallCTSChange();          // no longer followed
    port.CallDSRChange();
    EXPECT_EQ(log, (Log{"lamp on", "lamp on", "lamp off", "lamp on", "lamp off"}));
}

TEST_F(ComLedTest, LoadingOrDesigningNeitherReadsThePortNorReports) {
    TLamp loaded(lsDSR), designed(lsDSR);
    Follow({{&loaded, "loaded"}, {&designed, "designed"}});
    line->SetLines(MS_DSR_ON);
    port.Open();
    loaded.BeginLoading();
    loaded.SetComPort(&port);
    designed.SetDesigning(true);
    designed.SetComPort(&port);
    EXPECT_EQ(loaded.State(), lsOff);
    EXPECT_EQ(designed.State(), lsOff);
    loaded.Loaded();
    EXPECT_EQ(loaded.State(), lsOff); // until the port's next report
    EXPECT_EQ(log, Log{});
    port.Close();
    port.Open(); // with DSR on
    EXPECT_EQ(log, (Log{"loaded off", "designed off", "loaded on", "designed on"}));
}

TEST_F(ComLedTest, LinkIsRegisteredOnceAndLeavesWithThePortOrTheLamp) {
    TCountingPort other(nullptr);
    auto* lamp = new TLamp;
    Follow({{lamp, "lamp"}});
    lamp->SetComPort(&port);
    lamp->SetComPort(&port); // unchanged: a second registration would raise code 18
    EXPECT_EQ(port.Links(), 1u);
    lamp->SetComPort(&other);
    EXPECT_EQ(port.Links(), 0u);
    EXPECT_EQ(other.Links(), 1u);
    delete lamp;
    EXPECT_EQ(other.Links(), 0u);
    EXPECT_EQ(log, (Log{"lamp off"})); // the lamp's own end reports it off

    TLamp survivor;
    Follow({{&survivor, "survivor"}});
    auto* doomed = new TComPort(nullptr);
    doomed->SetPort(name);
    doomed->Events = TComEvents();
    survivor.SetComPort(doomed);
    doomed->Open();
    delete doomed;
    EXPECT_EQ(survivor.ComPort(), nullptr);
    EXPECT_EQ(survivor.State(), lsOff);
    EXPECT_EQ(log.back(), "survivor off");
    survivor.SetState(lsOn); // no port any more: allowed
}

TEST_F(ComLedTest, RingKeepsTheLampLitFromTheFirstRingUntilTheTimerExpires) {
    port.Events = AllComEvents; // the ring comes from the fake line through the event thread
    TLamp lamp(lsRing);
    Follow({{&lamp, "ring"}});
    lamp.SetRingDuration(10000);
    lamp.SetComPort(&port);
    port.Open();
    line->SetLines(MS_RING_ON);
    ASSERT_TRUE(PumpUntil([&] { return lamp.State() == lsOn; }));
    const QTimer& timer = lamp.RingTimer();
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(timer.interval(), 10000);
    // Far enough from a fresh start that a restart would show even in whole milliseconds.
    ASSERT_TRUE(PumpUntil([&] { return timer.remainingTime() < 9995; }));
    const int before = timer.remainingTime();
    port.CallRing(); // a second ring does not restart the timer
    EXPECT_LE(timer.remainingTime(), before);
    lamp.ExpireRingTimer();
    EXPECT_FALSE(timer.isActive());
    EXPECT_EQ(log, (Log{"ring on", "ring on", "ring off"}));
    port.Close();
}

// The user clicks the port button while a lamp shows a line change. The lamp lets the window
// run the click inside the port's hand-over, and the click closes the port there: the close
// must not wait for the event thread, which waits for the hand-over to end. The rest of that
// wake-up is dropped, the lamps end off and the window goes on.
TEST_F(ComLedTest, PortClickServedInsideALampsNotificationClosesThePort) {
    port.Events = AllComEvents;
    QWidget window;
    QToolButton button(&window);
    QObject::connect(&button, &QToolButton::clicked, [&] { port.Close(); });
    window.show();
    TLamp dsr(lsDSR), rlsd(lsRLSD);
    Follow({{&dsr, "dsr"}, {&rlsd, "rlsd"}});
    dsr.OnChange = [&, follow = dsr.OnChange](TObject* sender, TLedState state) {
        follow(sender, state);
        if (state == lsOn)
            QMetaObject::invokeMethod(&button, &QToolButton::click, Qt::QueuedConnection);
    };
    dsr.SetComPort(&port);
    rlsd.SetComPort(&port);
    port.OnAfterClose = [&](TObject*) { log.push_back("after close"); };
    port.Open();
    log.clear();
    line->SetLines(MS_DSR_ON | MS_RLSD_ON); // one wake-up: DSR, then RLSD
    ASSERT_TRUE(PumpUntil([&] { return !port.Connected(); }));
    bool served = false;
    QMetaObject::invokeMethod(
        qApp, [&] { served = true; }, Qt::QueuedConnection);
    EXPECT_TRUE(PumpUntil([&] { return served; }));
    EXPECT_EQ(log, (Log{"dsr on", "dsr off", "rlsd off", "after close"}));
    EXPECT_EQ(dsr.State(), lsOff);
    EXPECT_EQ(rlsd.State(), lsOff);
    EXPECT_FALSE(line->IsOpen());
}

// A lamp's owner frees another lamp while the port reports to both: the freed lamp's link
// leaves the port and is not called.
TEST_F(ComLedTest, LampFreedDuringAReportIsNotCalled) {
    TLamp first(lsDSR);
    auto* second = new TLamp(lsDSR);
    Follow({{&first, "first"}, {second, "second"}});
    first.OnChange = [&](TObject*, TLedState) {
        log.push_back("first");
        delete std::exchange(second, nullptr);
    };
    first.SetComPort(&port);
    second->SetComPort(&port);
    port.Open();
    EXPECT_EQ(log, (Log{"first", "second off"})); // its own end reports it off
    EXPECT_EQ(port.Links(), 1u);
}

// On a real terminal whose far end switches its lines (emulated on a pseudo-terminal): the
// DSR, RLSD and CTS lamps light with the lines they follow, found at open and then as they
// change, through the port's event thread.
TEST(ComLedOnALine, LampsFollowTheFarEndsLines) {
    const ModemLines::TPrivateModemLines seam;
    TPtyPair pty;
    ModemLines::TModemLines far(pty.Path());
    far.Set(TIOCM_DSR, true);
    TComPort port(nullptr);
    port.SetPort(pty.Path());
    port.Events = AllComEvents;
    TLamp dsr(lsDSR), rlsd(lsRLSD), cts(lsCTS);
    for (TComLed* lamp : {&dsr, &rlsd, &cts})
        lamp->SetComPort(&port);
    const auto lamps = [&] {
        std::string shown;
        for (TComLed* lamp : {&dsr, &rlsd, &cts})
            shown += lamp->State() == lsOn ? '1' : '0';
        return shown;
    };
    port.Open();
    EXPECT_EQ(lamps(), "100") << "DSR, RLSD, CTS at open";
    const struct {
        int line;
        bool on;
        const char* shown; // DSR, RLSD, CTS
    } steps[] = {{TIOCM_CD, true, "110"},
                 {TIOCM_CTS, true, "111"},
                 {TIOCM_DSR, false, "011"},
                 {TIOCM_CD | TIOCM_CTS, false, "000"},
                 {TIOCM_DSR | TIOCM_CD, true, "110"}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.shown);
        ASSERT_TRUE(far.WaitForWatcher());
        far.Set(step.line, step.on);
        EXPECT_TRUE(PumpUntil([&] { return lamps() == step.shown; })) << lamps();
    }
    port.Close();
}

TEST(ComLedPaintTest, GlyphIsCentredAndNeverOutsideTheClientArea) {
    EXPECT_EQ(TComLed::GlyphPosition(QRect(0, 0, 25, 25), QSize(15, 15)), QPoint(5, 5));
    EXPECT_EQ(TComLed::GlyphPosition(QRect(3, 4, 26, 26), QSize(15, 15)), QPoint(8, 9));
    EXPECT_EQ(TComLed::GlyphPosition(QRect(3, 4, 10, 10), QSize(15, 15)), QPoint(3, 4));
    TComLed lamp;
    EXPECT_EQ(lamp.size(), QSize(25, 25));
    EXPECT_EQ(lamp.focusPolicy(), Qt::NoFocus);
}

TEST(ComLedPaintTest, PaintsTheStatesGlyphAndTheOffGlyphWhileDisabled) {
    TComLed lamp;
    lamp.SetState(lsOn);
    EXPECT_EQ(lamp.grab().toImage().pixel(12, 12), qRgb(255, 0, 0)); // red, at (5, 5)
    lamp.setEnabled(false);
    EXPECT_EQ(lamp.grab().toImage().pixel(12, 12), qRgb(128, 0, 0));
    EXPECT_EQ(lamp.State(), lsOn);
}

TEST(ComLedPaintTest, GlyphsAreAssignedOnlyToCustomLampsAndIndexZeroIsOn) {
    QImage lit(9, 9, QImage::Format_RGB32);
    lit.fill(QColor(255, 0, 255)); // lower-left: the transparent colour
    lit.setPixel(4, 4, qRgb(0, 0, 255));
    QImage dark = lit;
    dark.setPixel(4, 4, qRgb(0, 0, 128));
    TLamp lamp(lsConn, lkBulb);
    const QImage bulb = lamp.GlyphOn();
    lamp.SetGlyph(0, lit);
    EXPECT_EQ(lamp.GlyphOn(), bulb);
    lamp.SetKind(lkCustom);
    lamp.SetGlyph(0, lit);
    lamp.SetGlyph(1, QPixmap::fromImage(dark));
    EXPECT_EQ(lamp.GlyphOff().pixel(4, 4), qRgb(0, 0, 128));
    EXPECT_EQ(qAlpha(lamp.GlyphOn().pixel(0, 0)), 0);
    EXPECT_TRUE(lamp.Glyph(2).isNull());
    lamp.SetState(lsOn);
    EXPECT_EQ(lamp.grab().toImage().pixel(12, 12), qRgb(0, 0, 255)); // (25 - 9) / 2 + 4
}

// Each kind's pictures, by TLedKind, and the colour each picture's middle is meant to have.
struct TPictures {
    const char* On;
    const char* Off;
    QRgb OnMiddle, OffMiddle;
};
constexpr TPictures Pictures[] = {
    {"LEDREDON", "LEDREDOFF", qRgb(255, 0, 0), qRgb(128, 0, 0)},
    {"LEDGREENON", "LEDGREENOFF", qRgb(0, 255, 0), qRgb(0, 128, 0)},
    {"LEDBLUEON", "LEDBLUEOFF", qRgb(0, 0, 255), qRgb(0, 0, 128)},
    {"LEDYELLOWON", "LEDYELLOWOFF", qRgb(255, 255, 0), qRgb(128, 128, 0)},
    {"LEDPURPLEON", "LEDPURPLEOFF", qRgb(255, 0, 255), qRgb(128, 0, 128)},
    {"LEDBULBON", "LEDBULBOFF", qRgb(255, 255, 0), qRgb(192, 192, 192)},
};

TEST(ComLedPaintTest, EachKindTakesItsOwnPictures) {
    TLamp lamp(lsConn, lkCustom);
    for (int kind = lkRedLight; kind < lkCustom; ++kind) {
        lamp.SetKind(TLedKind(kind));
        EXPECT_EQ(lamp.GlyphOn().pixel(7, 7), LedBitmap(Pictures[kind].On).pixel(7, 7)) << kind;
        EXPECT_EQ(lamp.GlyphOff().pixel(7, 7), LedBitmap(Pictures[kind].Off).pixel(7, 7)) << kind;
    }
}

// Pixels of the transparent colour (the lower-left one's) not reached from a corner through
// that colour: holes in the lamp.
int Holes(const QImage& image) {
    const QRgb clear = image.pixel(0, 14);
    QImage outside = image.convertToFormat(QImage::Format_RGB32);
    for (std::vector<QPoint> todo = {{0, 0}, {14, 0}, {0, 14}, {14, 14}}; !todo.empty();) {
        const QPoint p = todo.back();
        todo.pop_back();
        if (outside.rect().contains(p) && outside.pixel(p) == clear) {
            outside.setPixel(p, qRgb(0, 0, 1)); // seen
            todo.insert(todo.end(),
                        {p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1)});
        }
    }
    int holes = 0;
    for (int i = 0; i < 15 * 15; ++i)
        holes += outside.pixel(i % 15, i / 15) == clear;
    return holes;
}

TEST(LedBitmapsTest, TwelveSixteenColourLampsInTheirColoursWithTheClearColourOnlyAroundThem) {
    std::vector<std::pair<const char*, QRgb>> all;
    for (const TPictures& kind : Pictures)
        all.insert(all.end(), {{kind.On, kind.OnMiddle}, {kind.Off, kind.OffMiddle}});
    std::set<qint64> distinct;
    for (auto [name, middle] : all) {
        const QImage image = LedBitmap(name);
        ASSERT_EQ(image.size(), QSize(15, 15)) << name;
        EXPECT_EQ(image.colorTable(), LedPalette()) << name;
        EXPECT_EQ(image.cacheKey(), LedBitmap(name).cacheKey()) << name; // made once
        EXPECT_EQ(image, DrawLedBitmap(name)) << name; // as drawn now, not stale or misnamed
        distinct.insert(image.cacheKey());
        for (QPoint corner : {QPoint(0, 0), QPoint(14, 0), QPoint(0, 14), QPoint(14, 14)})
            EXPECT_EQ(image.pixel(corner), image.pixel(0, 14)) << name;
        EXPECT_EQ(Holes(image), 0) << name;
        // The middle 5 x 5 pixels average nearer the colour meant than any other picture's.
        int rgb[3] = {}, unlike = 0;
        for (int i = 0; i < 25; ++i) {
            const QRgb pixel = image.pixel(5 + i % 5, 5 + i / 5);
            rgb[0] += qRed(pixel) / 25, rgb[1] += qGreen(pixel) / 25, rgb[2] += qBlue(pixel) / 25;
            unlike += pixel != middle;
        }
        // An unlit lamp is of one colour there, the yellow one too (the bulb is shaded).
        if (std::string_view(name).ends_with("OFF") && std::string_view(name) != "LEDBULBOFF") {
            EXPECT_EQ(unlike, 0) << name;
        }
        const auto distance = [&](QRgb c) {
            return std::hypot(qRed(c) - rgb[0], qGreen(c) - rgb[1], qBlue(c) - rgb[2]);
        };
        for (auto [other, otherMiddle] : all)
            EXPECT_LE(distance(middle), distance(otherMiddle)) << name << " looks like " << other;
    }
    EXPECT_EQ(distinct.size(), 12u);
    EXPECT_TRUE(LedBitmap("LEDREDDIM").isNull());
    EXPECT_TRUE(LedBitmap("ledredon").isNull());
    EXPECT_TRUE(LedBitmap(nullptr).isNull());
}

} // namespace
