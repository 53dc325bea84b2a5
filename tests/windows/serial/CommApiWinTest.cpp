// The Windows form of the platform layer on a real device of the system that needs no serial
// port: a named pipe, opened through the layer like a port, its far end served here.
#include "serial/platform/CommApi.h"

// Taken before <windows.h> makes a macro of the name; the system's numbers are used below.
constexpr Platform::HANDLE InvalidDevice = Platform::INVALID_HANDLE_VALUE;

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#undef CreateFile
#undef CreateEvent

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace P = Platform;

namespace {

class PipeDevice : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string name =
            "\\\\.\\pipe\\vell-commapi-" + std::to_string(GetCurrentProcessId());
        server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0,
                                  nullptr);
        ASSERT_NE(server, INVALID_HANDLE_VALUE);
        device = P::CreateFile(name.c_str());
        ASSERT_NE(device, InvalidDevice) << P::GetLastError();
        record.hEvent = P::CreateEvent(true, true);
    }
    void TearDown() override {
        if (device != InvalidDevice)
            P::CloseHandle(device);
        P::CloseHandle(record.hEvent);
        CloseHandle(server);
    }
    void Serve(const std::string& bytes) {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(server, bytes.data(), DWORD(bytes.size()), &written, nullptr));
    }

    HANDLE server = INVALID_HANDLE_VALUE;
    P::HANDLE device = InvalidDevice;
    P::OVERLAPPED record;
    char buffer[16] = {};
    P::DWORD count = 99;
};

} // namespace

TEST_F(PipeDevice, APendingReadEndsInTheCallersRecord) {
    EXPECT_FALSE(P::ReadFile(device, buffer, 5, &count, &record));
    EXPECT_EQ(P::GetLastError(), ERROR_IO_PENDING);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(P::WaitForSingleObject(record.hEvent, 0), WAIT_TIMEOUT); // reset at the start
    EXPECT_FALSE(P::GetOverlappedResult(device, &record, &count, false));
    EXPECT_EQ(P::GetLastError(), ERROR_IO_INCOMPLETE);
    Serve("hello");
    EXPECT_EQ(P::WaitForSingleObject(record.hEvent, INFINITE), WAIT_OBJECT_0);
    ASSERT_TRUE(P::GetOverlappedResult(device, &record, &count, false));
    EXPECT_EQ(std::string(buffer, count), "hello");
    // Asked again, the caller's record still answers.
    count = 0;
    EXPECT_TRUE(P::GetOverlappedResult(device, &record, &count, false));
    EXPECT_EQ(count, 5u);
}

TEST_F(PipeDevice, TransfersThatEndAtOnceAnswerFromTheCallersRecord) {
    Serve("abc");
    ASSERT_TRUE(P::ReadFile(device, buffer, 3, &count, &record));
    EXPECT_EQ(count, 3u);
    EXPECT_TRUE(P::WriteFile(device, "xyz", 3, &count, &record));
    P::DWORD later = 0;
    EXPECT_TRUE(P::GetOverlappedResult(device, &record, &later, true));
    EXPECT_EQ(later, 3u);
    // Without a record of the caller's, the call waits for its end.
    Serve("de");
    EXPECT_TRUE(P::ReadFile(device, buffer, 2, &count, nullptr));
    EXPECT_EQ(std::string(buffer, count), "de");
}

// The event thread loops on a wait whose event starts signalled: a call that fails at once
// must leave it unsignalled, or the loop would spin.
TEST_F(PipeDevice, ATransferThatFailsAtOnceLeavesItsEventUnsignalled) {
    DisconnectNamedPipe(server);
    EXPECT_FALSE(P::ReadFile(device, buffer, 1, &count, &record));
    EXPECT_NE(P::GetLastError(), ERROR_IO_PENDING);
    EXPECT_EQ(P::WaitForSingleObject(record.hEvent, 0), WAIT_TIMEOUT);
    EXPECT_FALSE(P::GetOverlappedResult(device, &record, &count, false));
}

// The caller's record and event may go while the read runs: closing the device ends the read
// without the system writing into freed memory.
TEST_F(PipeDevice, ClosingTheDeviceEndsAReadWhoseRecordIsGone) {
    auto gone = std::make_unique<P::OVERLAPPED>();
    gone->hEvent = P::CreateEvent(true, false);
    EXPECT_FALSE(P::ReadFile(device, buffer, 4, &count, gone.get()));
    EXPECT_EQ(P::GetLastError(), ERROR_IO_PENDING);
    P::CloseHandle(gone->hEvent);
    gone.reset();
    EXPECT_TRUE(P::CloseHandle(device));
    device = InvalidDevice;
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(server, "late", 4, &written, nullptr)); // the client has gone
}

// Wine's hidden ports (COM1..COM255 in the test prefix) still open, as devices without a
// line; no port has the number 300.
TEST(CommApiWin, OpenFailsWithTheSystemsNumber) {
    for (const char* name : {"\\\\.\\COM300", "\\\\.\\no such port", "\\\\.\\\xff\xfe"}) {
        EXPECT_EQ(P::CreateFile(name), InvalidDevice) << name;
        EXPECT_EQ(P::GetLastError(), ERROR_FILE_NOT_FOUND) << name;
    }
}

TEST(CommApiWin, WaitsGiveTheLowerIndexOnATieAndTimeOut) {
    const P::HANDLE events[2] = {P::CreateEvent(true, false), P::CreateEvent(true, false)};
    EXPECT_EQ(P::WaitForMultipleObjects(2, events, false, 0), WAIT_TIMEOUT);
    P::SetEvent(events[1]);
    EXPECT_EQ(P::WaitForMultipleObjects(2, events, false, INFINITE), WAIT_OBJECT_0 + 1);
    P::SetEvent(events[0]);
    EXPECT_EQ(P::WaitForMultipleObjects(2, events, false, INFINITE), WAIT_OBJECT_0);
    P::ResetEvent(events[0]);
    EXPECT_EQ(P::WaitForSingleObject(events[0], 0), WAIT_TIMEOUT);
    for (P::HANDLE event : events)
        EXPECT_TRUE(P::CloseHandle(event));
}
