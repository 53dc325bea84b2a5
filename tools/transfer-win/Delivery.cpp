#include "tools/transfer-win/Delivery.h"

#include "external/WinText.h"
#include "tools/receiver-sim/Transfer.h"
#include "tools/transfer-win/PortOutput.h"
#include "tools/transfer-win/StandInTarget.h"

#include <vector>
#include <ws2tcpip.h>

namespace {

constexpr DWORD kSocketPatienceMs = 30000; // the simulator answers at once; this is a dead peer
constexpr size_t kChunk = 64 * 1024;
constexpr size_t kMaxReply = 4096; // the simulator's answers to one image are a few short lines
constexpr size_t kLptPiece = 4096;

struct TFile {
    explicit TFile(HANDLE handle) : Handle(handle) {}
    // Closes it now; false when the close fails.
    bool Close() {
        const HANDLE handle = Handle;
        Handle = INVALID_HANDLE_VALUE;
        return ::CloseHandle(handle) != FALSE;
    }
    TFile(const TFile&) = delete; // a copy would close the handle twice
    TFile& operator=(const TFile&) = delete;
    HANDLE Handle;
    ~TFile() {
        if (Handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(Handle);
    }
};

} // namespace

TDelivery::~TDelivery() {
    Cancel();
    if (m_thread != nullptr) {
        // Cancelled, the thread ends at its next socket call; the process ends anyway.
        ::WaitForSingleObject(m_thread, 2000);
        ::CloseHandle(m_thread);
    }
}

bool TDelivery::Running() const {
    return m_thread != nullptr && ::WaitForSingleObject(m_thread, 0) == WAIT_TIMEOUT;
}

bool TDelivery::Start(const std::wstring& imagePath) {
    if (Running())
        return false;
    if (m_thread != nullptr)
        ::CloseHandle(m_thread);
    m_imagePath = imagePath;
    m_cancelled = false;
    m_thread = ::CreateThread(nullptr, 0, &TDelivery::Thread, this, 0, nullptr);
    return m_thread != nullptr;
}

void TDelivery::Cancel() {
    m_cancelled = true;
    const std::lock_guard<std::mutex> lock(m_socketLock);
    if (m_socket != INVALID_SOCKET)
        ::shutdown(m_socket, SD_BOTH);
}

DWORD WINAPI TDelivery::Thread(void* self) {
    auto* delivery = static_cast<TDelivery*>(self);
    auto* result = new TDeliveryResult(delivery->Deliver());
    {
        const std::lock_guard<std::mutex> lock(delivery->m_socketLock);
        if (delivery->m_socket != INVALID_SOCKET)
            ::closesocket(delivery->m_socket);
        delivery->m_socket = INVALID_SOCKET;
    }
    if (!::PostMessageW(delivery->m_window, kEndMessage, 0, reinterpret_cast<LPARAM>(result)))
        delete result; // the window has gone
    return 0;
}

void TDelivery::Report(UINT message, WPARAM wParam, LPARAM lParam) {
    ::PostMessageW(m_window, message, wParam, lParam);
}

bool TDelivery::SendAll(SOCKET socket, const char* data, size_t size) {
    while (size > 0) {
        const int sent = ::send(socket, data, int(std::min<size_t>(size, kChunk)), 0);
        if (sent <= 0)
            return false;
        data += sent;
        size -= size_t(sent);
    }
    return true;
}

bool TDelivery::Stream(HANDLE file, TDeliveryResult& result, const TSend& send, bool& sent) {
    std::vector<char> chunk(kChunk);
    uint32_t crc = 0xFFFFFFFFu;
    uint64_t done = 0;
    WPARAM percent = 0;
    sent = true;
    while (sent && done < result.Size) {
        DWORD count = 0;
        if (!::ReadFile(file, chunk.data(), DWORD(chunk.size()), &count, nullptr) || count == 0) {
            result.Problem = "the image could not be read to its end";
            return false;
        }
        count = DWORD(std::min<uint64_t>(count, result.Size - done));
        crc = ReceiverSim::Crc32Update(crc, chunk.data(), count);
        sent = send(chunk.data(), count);
        done += count;
        if (const WPARAM now = WPARAM(done * 100 / result.Size); now != percent)
            Report(kProgressMessage, percent = now, 0);
    }
    result.Crc = crc ^ 0xFFFFFFFFu;
    return true;
}

TDeliveryResult TDelivery::Deliver() {
    TDeliveryResult result;
    const auto fail = [&result](std::string problem) {
        result.Problem = std::move(problem);
        return result;
    };
    const TCable cable = ChosenCable();
    if (cable.Kind == TCableKind::Refused)
        return fail(cable.Problem);

    const TFile file{::CreateFileW(m_imagePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
    if (file.Handle == INVALID_HANDLE_VALUE)
        return fail("cannot open the image: " + SystemErrorText(::GetLastError()));
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Handle, &size) || size.QuadPart <= 0 ||
        uint64_t(size.QuadPart) > kMaxImageSize)
        return fail("the image must hold 1 byte to 256 MiB");
    result.Size = uint64_t(size.QuadPart);

    switch (cable.Kind) {
    case TCableKind::Lpt: DeliverToLpt(cable.Device, file.Handle, result); break;
    case TCableKind::Ports:
    case TCableKind::Inpout: DeliverByPorts(cable.Kind, file.Handle, result); break;
    default: DeliverOverTcp(file.Handle, result); break;
    }
    return result;
}

void TDelivery::DeliverToLpt(const std::wstring& device, HANDLE file, TDeliveryResult& result) {
    const std::string name = Narrow(device);
    // Wine opens the Unix file its prefix maps the device to; on Windows this is the port.
    TFile port{::CreateFileW((L"\\\\.\\" + device).c_str(), GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (port.Handle == INVALID_HANDLE_VALUE) {
        result.Problem = "cannot open " + name + ": " + SystemErrorText(::GetLastError());
        return;
    }
    bool sent = false;
    const bool read = Stream(
        file, result,
        [&](const char* data, size_t count) {
            // In pieces, as a port driver takes them; each must go out whole.
            for (size_t at = 0; at < count; at += kLptPiece) {
                if (m_cancelled) {
                    result.Problem = "cancelled";
                    return false;
                }
                const DWORD piece = DWORD(std::min(kLptPiece, count - at));
                DWORD written = 0;
                if (!::WriteFile(port.Handle, data + at, piece, &written, nullptr)) {
                    result.Problem =
                        "writing to " + name + " failed: " + SystemErrorText(::GetLastError());
                    return false;
                }
                if (written != piece) {
                    result.Problem = name + " took " + std::to_string(written) + " of " +
                                     std::to_string(piece) + " bytes";
                    return false;
                }
            }
            return true;
        },
        sent);
    if (!read || !sent)
        return;
    // The receiver has the image once the cable is let go: a failed close may have lost some.
    if (!port.Close()) {
        result.Problem = "closing " + name + " failed: " + SystemErrorText(::GetLastError());
        return;
    }
    result.Delivered = true;
}

void TDelivery::DeliverByPorts(TCableKind kind, HANDLE file, TDeliveryResult& result) {
    bool sent = false;
    const bool read = Stream(
        file, result,
        [&](const char* data, size_t count) {
            if (kind == TCableKind::Ports) {
                SendByPortInstructions(data, count);
                return true;
            }
            if (SendByInpout(data, count))
                return true;
            result.Problem = "this build does not use inpout32.dll";
            return false;
        },
        sent);
    result.Delivered = read && sent;
}

void TDelivery::DeliverOverTcp(HANDLE file, TDeliveryResult& result) {
    const auto fail = [&result](std::string problem) { result.Problem = std::move(problem); };
    const TTransferTarget target = FindTransferTarget();
    if (target.Port == 0)
        return fail(target.Problem);

    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET)
        return fail("no socket: " + SystemErrorText(DWORD(::WSAGetLastError())));
    {
        const std::lock_guard<std::mutex> lock(m_socketLock);
        m_socket = socket;
    }
    if (m_cancelled)
        return fail("cancelled");
    const DWORD patience = kSocketPatienceMs;
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&patience),
                 sizeof patience);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&patience),
                 sizeof patience);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(target.Port);
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return fail("cannot reach the simulator on 127.0.0.1:" + std::to_string(target.Port) +
                    ": " + SystemErrorText(DWORD(::WSAGetLastError())));

    const std::string header =
        "SECRET " + target.Secret + "\nIMAGE " + std::to_string(result.Size) + "\n";
    bool sending = SendAll(socket, header.data(), header.size());
    if (sending &&
        !Stream(
            file, result,
            [&](const char* data, size_t count) { return SendAll(socket, data, count); }, sending))
        return;

    // The answer, also after a failed send: a refusal says why before the simulator closes.
    std::string replies;
    const std::string ok = "OK " + std::to_string(result.Size);
    for (;;) {
        for (size_t end; (end = replies.find('\n')) != std::string::npos;) {
            const std::string line = replies.substr(0, end);
            replies.erase(0, end + 1);
            if (line == ok && sending) {
                result.Delivered = true;
                return;
            }
            if (line.rfind("ERROR ", 0) == 0)
                return fail("the simulator refused: " + line.substr(6));
        }
        char buffer[256];
        const int got = replies.size() < kMaxReply ? ::recv(socket, buffer, sizeof buffer, 0) : 0;
        if (got <= 0)
            return fail(m_cancelled ? "cancelled"
                        : sending   ? "the simulator closed the connection before confirming"
                                    : "the connection broke while sending");
        replies.append(buffer, size_t(got));
    }
}
