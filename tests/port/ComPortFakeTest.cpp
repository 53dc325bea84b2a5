// The port on the in-process fake device: what a pseudo-terminal cannot give (modem lines,
// line errors, stalled output, unplugging) and the notifications around open, close and
// transfers.

#include "serial/ComPort.h"
#include "serial/ExceptionHandler.h"
#include "tests/support/FakeDevice.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using namespace Platform;

namespace {

class ComPortFakeTest : public testing::Test {
protected:
    ComPortFakeTest() {
        port.SetPort(name);
        port.Events = TComEvents(); // no event thread: the tests drive the port themselves
        link.OnConn = [this](TObject*, bool on) { Log(on ? "conn on" : "conn off"); };
        link.OnCTSChange = [this](TObject*, bool on) { Log(on ? "cts on" : "cts off"); };
        link.OnDSRChange = [this](TObject*, bool on) { Log(on ? "dsr on" : "dsr off"); };
        link.OnRLSDChange = [this](TObject*, bool on) { Log(on ? "rlsd on" : "rlsd off"); };
        link.OnTx = [this](TObject*, bool on) { Log(on ? "tx on" : "tx off"); };
        link.OnRx = [this](TObject*, bool on) { Log(on ? "rx on" : "rx off"); };
        link.OnTxBuf = [this](TObject*, const char* data, int32_t count) {
            Log("txbuf " + std::string(data, size_t(count)));
        };
        port.RegisterLink(&link);
    }
    ~ComPortFakeTest() override { port.UnRegisterLink(&link); }
    void Log(const std::string& entry) { log.push_back(entry); }

    const std::string name = "FAKE" + std::to_string(reinterpret_cast<uintptr_t>(this));
    std::shared_ptr<TFakeLine> line = TFakeLine::Publish(name);
    TComPort port{nullptr};
    TComLink link;
    std::vector<std::string> log;
};

int32_t ErrorOf(const std::function<void()>& action, int32_t* system = nullptr) {
    try {
        action();
    } catch (const EComPort& failure) {
        if (system != nullptr)
            *system = failure.SystemErrorCode();
        return failure.ErrorCode();
    }
    return 0;
}

TEST_F(ComPortFakeTest, OpenAndCloseNotifyInOrder) {
    line->SetLines(MS_DSR_ON);
    port.OnBeforeOpen = [this](TObject*) { Log("before open"); };
    port.OnAfterOpen = [this](TObject*) { Log("after open"); };
    port.OnBeforeClose = [this](TObject*) { Log("before close"); };
    port.OnAfterClose = [this](TObject*) { Log("after close"); };
    port.Open();
    port.Open(); // a second open does nothing
    EXPECT_TRUE(port.Connected());
    port.Close();
    port.Close();
    EXPECT_FALSE(line->IsOpen());
    const std::vector<std::string> expected = {
        "before open", "conn on", "after open", "cts off",      "dsr on",   "rlsd off",
        "cts off",     "dsr off", "rlsd off",   "before close", "conn off", "after close"};
    EXPECT_EQ(log, expected);
}

TEST_F(ComPortFakeTest, ReceiverSettingsGiveTheirControlBlock) {
    port.SetBaudRate(br19200);
    port.FlowControl().SetControlDTR(dtrHandshake);
    port.FlowControl().SetControlRTS(rtsHandshake);
    EXPECT_EQ(line->LastState().BaudRate, 0u); // a closed port touches no device
    port.Open();
    const DCB dcb = line->LastState();
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.Flags, 0x2021u);
    EXPECT_EQ(dcb.XonLim, 256);
    EXPECT_EQ(dcb.XoffLim, 256);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 0);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
    EXPECT_EQ(line->RaisedLines(), TFakeLine::RaisedDTR | TFakeLine::RaisedRTS);

    port.Close();
    port.FlowControl().SetXonChar('\x05'); // kept for the next open
    EXPECT_EQ(line->LastState().XonChar, 17);
    port.Open();
    EXPECT_EQ(line->LastState().XonChar, 5);
}

TEST_F(ComPortFakeTest, UpdatesAreHeldBackUntilTheLastEndUpdate) {
    port.Open();
    port.BeginUpdate();
    port.BeginUpdate();
    port.SetBaudRate(br115200);
    port.EndUpdate();
    EXPECT_EQ(line->LastState().BaudRate, 9600u);
    port.EndUpdate();
    EXPECT_EQ(line->LastState().BaudRate, 115200u);
    port.EndUpdate();               // one too many does nothing
    port.SetCustomBaudRate(250000); // applies even while the rate is not custom
    port.SetBaudRate(brCustom);
    EXPECT_EQ(line->LastState().BaudRate, 250000u);
}

TEST_F(ComPortFakeTest, RejectedSettingLeavesThePortClosed) {
    port.SetStopBits(sbOne5StopBits); // 1.5 stop bits need 5 data bits
    int32_t system = 0;
    EXPECT_EQ(ErrorOf([&] { port.Open(); }, &system), CError_SetStateFailed);
    EXPECT_EQ(system, int32_t(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(line->IsOpen());
}

TEST_F(ComPortFakeTest, WriteAndReadNotifyLinks) {
    port.Open();
    log.clear();
    EXPECT_EQ(port.Write("\x02"
                         "C042,5\x03",
                         8),
              8);
    EXPECT_EQ(line->TakeSent(), "\x02"
                                "C042,5\x03");
    EXPECT_EQ(log, (std::vector<std::string>{"tx on", "txbuf \x02"
                                                      "C042,5\x03"}));

    log.clear();
    line->Send("AT");
    char buffer[4];
    EXPECT_EQ(port.Read(buffer, 4), 2); // the default time-outs return what is there
    EXPECT_EQ(std::string(buffer, 2), "AT");
    EXPECT_EQ(log, std::vector<std::string>{"rx off"});
    EXPECT_EQ(port.WriteStr(""), 0);
    EXPECT_TRUE(line->TakeSent().empty());

    line->Send("kept");
    TComEvents events{evRxChar};
    port.WaitForEvent(events, 0, 5000);
    port.ClearBuffer(false, false); // purges nothing
    EXPECT_EQ(port.InputCount(), 4);
    port.ClearBuffer(true, false);
    EXPECT_EQ(port.InputCount(), 0);
}

TEST_F(ComPortFakeTest, LineSignalsAndErrors) {
    port.Open();
    line->SetLines(MS_CTS_ON | MS_RLSD_ON | MS_RING_ON);
    EXPECT_EQ(port.Signals(), (TComSignals{csCTS, csRing, csRLSD}));

    line->InjectErrors(CE_RXPARITY | CE_FRAME);
    EXPECT_EQ(port.LastErrors(), TComErrors{ceFrame}); // parity counts only while checked
    EXPECT_TRUE(port.LastErrors().Empty());            // reading clears them
    port.Parity().SetCheck(true);
    line->InjectErrors(CE_RXPARITY | CE_BREAK);
    EXPECT_EQ(port.LastErrors(), (TComErrors{ceRxParity, ceBreak}));
}

TEST_F(ComPortFakeTest, StalledWriteIsAbortedAndItsWaiterFails) {
    port.Open();
    line->HoldOutput(true);
    PAsync async = nullptr;
    InitAsync(async);
    EXPECT_EQ(port.WriteAsync("hold", 4, async), 0);
    EXPECT_FALSE(port.IsAsyncCompleted(async));
    EXPECT_EQ(port.OutputCount(), 4);
    port.AbortAllAsync();
    int32_t system = 0;
    EXPECT_EQ(ErrorOf([&] { port.WaitForAsync(async); }, &system), CError_WriteFailed);
    EXPECT_EQ(system, int32_t(ERROR_OPERATION_ABORTED));
    DoneAsync(async);
    EXPECT_EQ(async, nullptr);
}

TEST_F(ComPortFakeTest, AsyncCallsWithoutARecordFail) {
    port.Open();
    PAsync none = nullptr;
    char byte;
    for (const auto& call : std::vector<std::function<void()>>{
             [&] { port.WriteAsync("x", 1, none); }, [&] { port.ReadAsync(&byte, 1, none); },
             [&] { port.WaitForAsync(none); }, [&] { port.IsAsyncCompleted(none); }}) {
        try {
            call();
            ADD_FAILURE() << "no failure";
        } catch (const EComPort& failure) {
            EXPECT_EQ(failure.ErrorCode(), CError_InvalidAsync);
            EXPECT_EQ(failure.SystemErrorCode(), -1);
            EXPECT_STREQ(failure.what(), "Invalid Async parameter");
        }
    }
}

TEST_F(ComPortFakeTest, WaitForEventWithoutThread) {
    port.Open();
    TComEvents events{evRxChar};
    line->Send("x");
    port.WaitForEvent(events, 0, 2000);
    EXPECT_EQ(events, TComEvents{evRxChar});

    events = TComEvents{evRxChar, evDSR};
    port.WaitForEvent(events, 0, 10); // nothing happens: the time-out gives the empty set
    EXPECT_TRUE(events.Empty());

    const HANDLE stop = CreateEvent(true, true);
    events = TComEvents{evRxChar};
    port.WaitForEvent(events, stop, INFINITE);
    EXPECT_TRUE(events.Empty());
    CloseHandle(stop);
}

TEST_F(ComPortFakeTest, WaitForEventIsRefusedWhileAThreadWatches) {
    port.Events = TComEvents{evRxChar};
    port.SetSyncMethod(smNone);
    port.Open();
    TComEvents events{evRxChar};
    EXPECT_EQ(ErrorOf([&] { port.WaitForEvent(events, 0, 0); }), CError_ThreadCreated);
    EXPECT_EQ(ErrorOf([&] { port.SetSyncMethod(smThreadSync); }), CError_SyncMeth);
    port.SetSyncMethod(smNone); // the same value is no change
}

TEST_F(ComPortFakeTest, UnpluggedDeviceFailsTransfersButCloses) {
    port.Open();
    line->Unplug();
    int32_t system = 0;
    EXPECT_EQ(ErrorOf([&] { port.Write("x", 1); }, &system), CError_WriteFailed);
    EXPECT_EQ(system, int32_t(ERROR_BAD_COMMAND));
    EXPECT_EQ(ErrorOf([&] { port.InputCount(); }), CError_ClearComFailed);
    port.Close(); // nothing to purge: closing still succeeds
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortFakeTest, UnplugEndsTheTransfersUnderWay) {
    // Long time-outs: a transfer that did not learn of the unplug would end after 30 s as a
    // success instead of failing now.
    port.Timeouts().SetReadInterval(0);
    port.Timeouts().SetReadTotalC(30000);
    port.Timeouts().SetWriteTotalM(0);
    port.Timeouts().SetWriteTotalC(30000);
    port.Open();
    line->HoldOutput(true);
    PAsync read = nullptr, write = nullptr;
    InitAsync(read);
    InitAsync(write);
    char buffer[8];
    port.ReadAsync(buffer, 8, read);
    line->Send("AT"); // part of what the read waits for
    port.WriteAsync("\x02"
                    "C042,5\x03",
                    8, write);
    EXPECT_FALSE(port.IsAsyncCompleted(read));
    EXPECT_FALSE(port.IsAsyncCompleted(write));

    line->Unplug();
    int32_t system = 0;
    EXPECT_EQ(ErrorOf([&] { port.WaitForAsync(read); }, &system), CError_ReadFailed);
    EXPECT_EQ(system, int32_t(ERROR_BAD_COMMAND));
    EXPECT_EQ(ErrorOf([&] { port.WaitForAsync(write); }, &system), CError_WriteFailed);
    EXPECT_EQ(system, int32_t(ERROR_BAD_COMMAND));
    EXPECT_EQ(ErrorOf([&] { port.Read(buffer, 8); }), CError_ReadFailed);
    DoneAsync(read);
    DoneAsync(write);
    port.Close();
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortFakeTest, ClosedPortReportsInvalidHandle) {
    int32_t system = 0;
    EXPECT_EQ(ErrorOf([&] { port.Write("x", 1); }, &system), CError_WriteFailed);
    EXPECT_EQ(system, int32_t(ERROR_INVALID_HANDLE));
    EXPECT_EQ(ErrorOf([&] { port.Signals(); }, &system), CError_ModemStatFailed);
    EXPECT_EQ(system, int32_t(ERROR_INVALID_HANDLE));
}

TEST_F(ComPortFakeTest, LinksRegisterOnce) {
    EXPECT_EQ(ErrorOf([&] { port.RegisterLink(&link); }), CError_RegFailed);
    TComLink other;
    EXPECT_EQ(ErrorOf([&] { port.UnRegisterLink(&other); }), CError_RegFailed);
    other.OnRxBuf = [](TObject*, const char*, int32_t) {};
    port.RegisterLink(&other);
    EXPECT_TRUE(port.HasRxBufLink());
    EXPECT_FALSE(port.TriggersOnRxChar());
    EXPECT_EQ(ErrorOf([&] { port.SetTriggersOnRxChar(true); }), CError_HasLink);
    port.UnRegisterLink(&other);
    EXPECT_TRUE(port.TriggersOnRxChar());
}

TEST_F(ComPortFakeTest, BufferHandlersTakeTheDataInsteadOfOnRxChar) {
    // Links that take received data as a buffer: the port reads once, its own OnRxBuf runs
    // before the links', in their order, and OnRxChar is not called for that data.
    TComLink buffered, second;
    buffered.OnRxBuf = [this](TObject*, const char* data, int32_t count) {
        Log("link " + std::string(data, size_t(count)));
    };
    second.OnRxBuf = [this](TObject*, const char* data, int32_t count) {
        Log("second " + std::string(data, size_t(count)));
    };
    port.RegisterLink(&buffered);
    port.RegisterLink(&second);
    port.OnRxBuf = [this](TObject*, const char* data, int32_t count) {
        Log("port " + std::string(data, size_t(count)));
    };
    port.OnRxChar = [this](TObject*, int32_t) { Log("rxchar"); };
    port.Open();
    line->Send("AT\r");
    log.clear();
    port.CallRxChar();
    // The read itself tells the links that reception is over, before the handlers run.
    EXPECT_EQ(log, (std::vector<std::string>{"rx on", "rx off", "port AT\r", "link AT\r",
                                             "second AT\r"}));
    EXPECT_EQ(port.InputCount(), 0);

    // Without such a link, the data is announced by its count and the handler reads it...
    port.UnRegisterLink(&buffered);
    port.UnRegisterLink(&second);
    line->Send("AT\r");
    log.clear();
    port.CallRxChar();
    EXPECT_EQ(log, (std::vector<std::string>{"rx on", "rxchar"}));
    // ...unless the port is told to read it itself.
    port.SetTriggersOnRxChar(false);
    log.clear();
    port.CallRxChar();
    EXPECT_EQ(log, (std::vector<std::string>{"rx on", "rx off", "port AT\r"}));
}

// A handler that unregisters links while the port walks its list, as a lamp that frees another
// lamp does: a link is not called after its unregistering, one registered meanwhile not at all,
// and nothing freed is touched.
TEST_F(ComPortFakeTest, LinksUnregisteredDuringAWalkAreNotCalledAfter) {
    using TFill = std::function<void(TComLink&, std::function<void()>)>;
    const std::pair<TFill, std::function<void()>> walks[] = {
        {[](TComLink& l, auto f) { l.OnDSRChange = [f](TObject*, bool) { f(); }; },
         [&] { port.CallDSRChange(); }},
        {[](TComLink& l, auto f) { l.OnRing = [f](TObject*) { f(); }; }, [&] { port.CallRing(); }},
        {[](TComLink& l, auto f) { l.OnTxBuf = [f](TObject*, const char*, int32_t) { f(); }; },
         [&] { port.WriteStr("x"); }},
        {[](TComLink& l, auto f) { l.OnRxBuf = [f](TObject*, const char*, int32_t) { f(); }; },
         [&] {
             line->Send("x");
             TComEvents events{evRxChar};
             port.WaitForEvent(events, 0, 5000);
             port.CallRxChar();
         }},
    };
    enum TChange { RemoveLater, FreeLater, RemoveEarlier, RemoveItself, AddOne };
    const std::pair<TChange, std::string> changes[] = {{RemoveLater, "ac"},
                                                       {FreeLater, "ac"},
                                                       {RemoveEarlier, "abc"},
                                                       {RemoveItself, "abc"},
                                                       {AddOne, "abc"}};
    port.Open();
    for (size_t walk = 0; walk < std::size(walks); ++walk) {
        for (const auto& [change, expected] : changes) {
            SCOPED_TRACE(std::to_string(walk) + " " + std::to_string(change));
            std::string called;
            TComLink a, c, d;
            auto b = std::make_unique<TComLink>();
            const TFill& fill = walks[walk].first;
            fill(a, [&, change = change] {
                called += 'a';
                if (change == RemoveLater || change == FreeLater)
                    port.UnRegisterLink(b.get());
                if (change == FreeLater)
                    b.reset();
                if (change == RemoveItself)
                    port.UnRegisterLink(&a);
                if (change == AddOne)
                    port.RegisterLink(&d);
            });
            fill(*b, [&, change = change] {
                called += 'b';
                if (change == RemoveEarlier)
                    port.UnRegisterLink(&a);
            });
            fill(c, [&] { called += 'c'; });
            fill(d, [&] { called += 'd'; });
            for (TComLink* link : {&a, b.get(), &c})
                port.RegisterLink(link);
            walks[walk].second();
            EXPECT_EQ(called, expected);
            for (TComLink* link : {&a, b.get(), &c, &d})
                ErrorOf([&] { port.UnRegisterLink(link); }); // those still registered
        }
    }
}

TEST_F(ComPortFakeTest, FormLoadingOpensOnlyWhenLoaded) {
    TComPort loaded(nullptr);
    loaded.BeginLoading();
    loaded.SetConnected(true); // read from the form: stored only
    loaded.SetPort(name);
    loaded.SetBaudRate(br19200);
    EXPECT_FALSE(line->IsOpen());
    loaded.Loaded();
    EXPECT_TRUE(loaded.Connected());
    EXPECT_EQ(line->LastState().BaudRate, 19200u);

    // A failing open there is reported and loading goes on with the port closed.
    int reports = 0;
    SetExceptionHandler([&](TObject* sender) {
        EXPECT_EQ(sender, &port);
        ++reports;
    });
    port.BeginLoading();
    port.SetConnected(true);
    port.Loaded(); // the line is held by `loaded`
    SetExceptionHandler(nullptr);
    EXPECT_EQ(reports, 1);
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortFakeTest, PortNameInOtherLetterCaseIsAnotherPort) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    const auto other = TFakeLine::Publish(lower);
    port.Open();
    log.clear();
    port.SetPort(lower); // closed and opened again, on the other line
    EXPECT_FALSE(line->IsOpen());
    EXPECT_TRUE(other->IsOpen());
    EXPECT_EQ(log, (std::vector<std::string>{"cts off", "dsr off", "rlsd off", "conn off",
                                             "conn on", "cts off", "dsr off", "rlsd off"}));
}

TEST_F(ComPortFakeTest, SecondOpenOfAnOpenLineFails) {
    port.Open();
    TComPort second(nullptr);
    second.SetPort(name);
    int32_t system = 0;
    EXPECT_EQ(ErrorOf([&] { second.Open(); }, &system), CError_OpenFailed);
    EXPECT_EQ(system, int32_t(ERROR_ACCESS_DENIED));
}

} // namespace
