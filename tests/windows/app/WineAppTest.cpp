// The Windows window under Wine, driven from Linux: its own tests (WindowTest.cpp), 64-bit and
// 32-bit, on a virtual screen of the session's. Skipped where Wine or the Windows build is
// missing.
#include "tests/support/WineRun.h"

using namespace WineTest;

namespace {

void WindowTests(const char* arch) {
    const std::string program = TWineSession::Program(arch, "winapp/window_tests.exe");
    REQUIRE_WINE(program);
    const TWineSession session;
    ExpectPassed(RunUnderWine(session, program, {}));
}

} // namespace

TEST(WineApp, Tests64) {
    WindowTests("x86_64");
}
TEST(WineApp, Tests32) {
    WindowTests("i686");
}
