// The system's Windows forms under Wine, driven from Linux: the kept options over the registry
// of the build folder's Wine prefix (RegistryStoreTest.cpp) and the image files
// (WinImageFilesTest.cpp), 64-bit and 32-bit. Skipped where Wine or the Windows build is
// missing.
#include "tests/support/WineRun.h"

using namespace WineTest;

namespace {

void SystemTests(const char* arch) {
    const std::string program = TWineSession::Program(arch, "system/system_tests.exe");
    REQUIRE_WINE(program);
    const TWineSession session;
    ExpectPassed(RunUnderWine(session, program, {}));
}

} // namespace

TEST(WineSystem, Tests64) {
    SystemTests("x86_64");
}
TEST(WineSystem, Tests32) {
    SystemTests("i686");
}
