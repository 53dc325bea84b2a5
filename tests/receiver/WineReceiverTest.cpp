// The receiver dialogue's tests built for Windows (64-bit and 32-bit) and run under Wine: the
// message tables and renderings, and the dialogue over the Windows image files. Skipped where
// Wine or the Windows build is missing.
#include "tests/support/WineRun.h"

using namespace WineTest;

namespace {

void ReceiverTests(const char* arch) {
    const std::string folder = TWineSession::Program(arch, "receiver/");
    const std::string programs[] = {folder + "receiver_tests.exe", folder + "dialogue_tests.exe"};
    REQUIRE_WINE(programs[1]);
    const TWineSession session;
    for (const std::string& program : programs) {
        SCOPED_TRACE(program);
        ExpectPassed(RunUnderWine(session, program, {}));
    }
}

} // namespace

TEST(WineReceiver, Tests64) {
    ReceiverTests("x86_64");
}
TEST(WineReceiver, Tests32) {
    ReceiverTests("i686");
}
