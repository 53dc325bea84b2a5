// The system's Windows forms under Wine, driven from Linux: the kept options over the registry
// of the build folder's Wine prefix (RegistryStoreTest.cpp), 64-bit and 32-bit. Skipped where
// Wine or the Windows build is missing.
#include "tests/support/WineRun.h"

using namespace WineTest;

namespace {

void RegistryTests(const char* arch) {
    const std::string program = TWineSession::Program(arch, "system/registry_tests.exe");
    REQUIRE_WINE(program);
    const TWineSession session;
    ExpectPassed(RunUnderWine(session, program, {}));
}

} // namespace

TEST(WineSystem, RegistryTests64) {
    RegistryTests("x86_64");
}
TEST(WineSystem, RegistryTests32) {
    RegistryTests("i686");
}
