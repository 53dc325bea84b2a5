// The settings groups attached to a port: which apply each change asks for, and how often.
#include "serial/ComError.h"
#include "serial/ComPort.h"
#include "serial/ComSettings.h"
#include "tests/serial/SettingsValues.h"

#include <gtest/gtest.h>
#include <tuple>

namespace {

using Counts = std::tuple<int, int, int>; // ApplyDCB, ApplyTimeouts, ApplyBuffer

// A closed port that only counts what it is asked to apply, and can be told to fail doing it.
class CountingPort : public TComPort {
public:
    CountingPort() : TComPort(nullptr) {}
    void ApplyDCB() override { Count(std::get<0>(counts)); }
    void ApplyTimeouts() override { Count(std::get<1>(counts)); }
    void ApplyBuffer() override { Count(std::get<2>(counts)); }
    Counts counts{0, 0, 0};
    bool fail = false;

private:
    void Count(int& counter) {
        ++counter;
        if (fail)
            throw EComPort(CError_SetStateFailed, 87);
    }
};

// The four groups, attached to one port.
struct Groups {
    explicit Groups(CountingPort& port) {
        timeouts.SetComPort(&port);
        flow.SetComPort(&port);
        parity.SetComPort(&port);
        buffer.SetComPort(&port);
    }
    TComTimeouts timeouts;
    TComFlowControl flow;
    TComParity parity;
    TComBuffer buffer;
};

} // namespace

// Each fill changes every field it sets once; filling again sets the same values: no apply.
TEST(SettingsApplyOnPort, EachChangeAppliesItsGroupOnceAndARepeatNothing) {
    CountingPort port;
    Groups g(port);
    FillTimeouts(g.timeouts);
    FillTimeouts(g.timeouts);
    EXPECT_EQ(port.counts, Counts(0, 5, 0));
    FillFlowControl(g.flow);
    FillFlowControl(g.flow);
    FillParity(g.parity);
    FillParity(g.parity);
    EXPECT_EQ(port.counts, Counts(9 + 4, 5, 0));
    g.buffer.SetInputSize(4096);
    g.buffer.SetInputSize(4096);
    g.buffer.SetOutputSize(1025); // differs from the stored 1024: applies, and stores 1024
    EXPECT_EQ(port.counts, Counts(13, 5, 2));
    // Choosing a summary always applies, even when it changes nothing.
    g.flow.SetFlowControl(fcCustom);
    g.flow.SetFlowControl(fcNone);
    g.flow.SetFlowControl(fcNone);
    EXPECT_EQ(port.counts, Counts(16, 5, 2));
}

TEST(SettingsApplyOnPort, AFailedApplyReachesTheCallerAndTheValueStays) {
    CountingPort port;
    Groups g(port);
    port.fail = true;
    EXPECT_THROW(g.parity.SetBits(prOdd), EComPort);
    EXPECT_THROW(g.buffer.SetInputSize(1025), EComPort);
    EXPECT_THROW(g.timeouts.SetReadInterval(7), EComPort);
    EXPECT_EQ(g.parity.Bits(), prOdd);
    EXPECT_EQ(g.buffer.InputSize(), 1024);
    EXPECT_EQ(g.timeouts.ReadInterval(), 7);
}

// Copying a group is a bulk store: the port applies once afterwards, not per field, and the
// copy stays attached to its own port.
TEST(SettingsApplyOnPort, AssignAppliesNothingAndKeepsTheDestinationsPort) {
    CountingPort source, dest;
    Groups from(source), to(dest);
    FillFlowControl(from.flow);
    from.buffer.SetInputSize(4096);
    to.timeouts.Assign(from.timeouts);
    to.flow.Assign(from.flow);
    to.parity.Assign(from.parity);
    to.buffer.Assign(from.buffer);
    EXPECT_EQ(dest.counts, Counts(0, 0, 0));
    EXPECT_EQ(Values(to.flow), FilledFlowControl);
    EXPECT_EQ(to.buffer.InputSize(), 4096);
    EXPECT_EQ(to.flow.ComPort(), &dest);
    EXPECT_EQ(to.buffer.ComPort(), &dest);
}
