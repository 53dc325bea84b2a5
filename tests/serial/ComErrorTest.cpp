#include "serial/ComError.h"

#include <climits>
#include <gtest/gtest.h>
#include <string>

TEST(EComPort, MessageAndCodes) {
    const struct {
        int32_t code;
        int32_t system; // -1: raised without one
        std::string message;
    } cases[] = {
        {CError_OpenFailed, 5, "Unable to open com port (win error code: 5)"},
        {CError_SetStateFailed, 87, "SetCommState function failed (win error code: 87)"},
        {CError_InvalidAsync, -1, "Invalid Async parameter"},
        {CError_HasLink, -1, "A component is linked to OnRxBuf event"},
        {CError_EnumPortsFailed, 0, "EnumPorts function failed (win error code: 0)"},
        // Unknown codes: empty text, the system code still appended.
        {0, -1, ""},
        {23, 5, " (win error code: 5)"},
    };
    for (const auto& c : cases) {
        const EComPort e = c.system == -1 ? EComPort(c.code) : EComPort(c.code, c.system);
        EXPECT_EQ(std::string(e.what()), c.message) << c.code;
        EXPECT_EQ(e.ErrorCode(), c.code);
        EXPECT_EQ(e.SystemErrorCode(), c.system);
    }
}

TEST(EComPort, CodesOutsideTheTableHaveNoText) {
    for (int32_t code : {INT_MIN, -1, 0, 23, INT_MAX})
        EXPECT_STREQ(ComErrorMessage(code), "") << code;
}
