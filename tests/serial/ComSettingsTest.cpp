// The settings groups on their own (no port): what they store and how they copy.
#include "serial/ComSettings.h"

#include "tests/serial/SettingsValues.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>

// Filled through the setters and read back from the copy: a setter or a copy that writes the
// wrong field shows.
TEST(ComSettings, SettersStoreAndAssignCopiesEveryField) {
    TComTimeouts timeouts, timeoutsCopy;
    FillTimeouts(timeouts);
    timeoutsCopy.Assign(timeouts);
    EXPECT_EQ(Values(timeoutsCopy), FilledTimeouts);

    TComFlowControl flow, flowCopy;
    FillFlowControl(flow);
    flowCopy.SetXonXoffIn(true); // set only in the destination: must be overwritten
    flowCopy.Assign(flow);
    EXPECT_EQ(Values(flowCopy), FilledFlowControl);

    TComParity parity, parityCopy;
    FillParity(parity);
    parityCopy.Assign(parity);
    EXPECT_EQ(Values(parityCopy), FilledParity);

    TComBuffer buffer, bufferCopy;
    buffer.SetInputSize(4096);
    buffer.SetOutputSize(2048);
    bufferCopy.Assign(buffer);
    EXPECT_EQ(bufferCopy.InputSize(), 4096);
    EXPECT_EQ(bufferCopy.OutputSize(), 2048);
}

TEST(ComSettings, AssignBetweenGroupsFailsAndChangesNothing) {
    TComParity parity;
    TComTimeouts timeouts;
    FillTimeouts(timeouts);
    try {
        timeouts.Assign(parity);
        ADD_FAILURE() << "no failure";
    } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot assign a TComParity to a TComTimeouts");
    }
    EXPECT_EQ(Values(timeouts), FilledTimeouts);
    TComBuffer buffer;
    EXPECT_THROW(buffer.Assign(timeouts), EConvertError);
}

TEST(ComBuffer, PositiveOddSizesAreLoweredToEven) {
    const struct {
        int32_t set, stored;
    } cases[] = {{1025, 1024}, {1, 0}, {-3, -3}, {0, 0}, {4096, 4096}, {INT32_MAX, INT32_MAX - 1}};
    for (const auto& c : cases) {
        TComBuffer buffer;
        buffer.SetInputSize(c.set);
        buffer.SetOutputSize(c.set);
        EXPECT_EQ(buffer.InputSize(), c.stored) << c.set;
        EXPECT_EQ(buffer.OutputSize(), c.stored) << c.set;
    }
}

TEST(ComFlowControl, SummaryOfTheHandshakeFields) {
    const struct {
        TRTSFlowControl rts;
        bool outCTS, xonIn, xonOut;
        TFlowControl summary;
    } cases[] = {
        {rtsHandshake, true, false, false, fcHardware},
        {rtsDisable, false, true, true, fcSoftware},
        {rtsDisable, false, false, false, fcNone},
        {rtsHandshake, false, false, false, fcCustom}, // RTS handshake without CTS
        {rtsDisable, true, false, false, fcCustom},
        {rtsHandshake, true, true, true, fcCustom},
        {rtsEnable, false, false, false, fcCustom},
        {rtsDisable, false, true, false, fcCustom},
    };
    for (const auto& c : cases) {
        TComFlowControl flow;
        flow.SetControlRTS(c.rts);
        flow.SetOutCTSFlow(c.outCTS);
        flow.SetXonXoffIn(c.xonIn);
        flow.SetXonXoffOut(c.xonOut);
        EXPECT_EQ(flow.GetFlowControl(), c.summary)
            << int(c.rts) << c.outCTS << c.xonIn << c.xonOut;
    }
    // The receiver's port: DTR handshake and DSR flow are not part of the summary.
    TComFlowControl receiver;
    receiver.SetControlDTR(dtrHandshake);
    receiver.SetOutDSRFlow(true);
    EXPECT_EQ(receiver.GetFlowControl(), fcNone);
}

TEST(ComFlowControl, ChoosingASummaryRewritesOnlyTheHandshakeFields) {
    for (TFlowControl wanted : {fcHardware, fcSoftware, fcNone}) {
        TComFlowControl flow;
        FillFlowControl(flow);
        flow.SetFlowControl(wanted);
        EXPECT_EQ(flow.GetFlowControl(), wanted);
        EXPECT_EQ(std::tuple(flow.OutDSRFlow(), flow.ControlDTR(), flow.XoffChar()),
                  std::tuple(true, dtrHandshake, 'B'));
    }
    TComFlowControl flow;
    FillFlowControl(flow);
    flow.SetFlowControl(fcCustom);
    EXPECT_EQ(Values(flow), FilledFlowControl);
}
