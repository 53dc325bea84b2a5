#pragma once
// Sends one image on a thread of its own, so that the window goes on handling its messages (a
// close among them) while the bytes go out, by the way VELL_STANDIN_CABLE chooses (Cable.h).
// To the receiver simulator's loopback TCP way in:
//
//   us:        "SECRET <secret>\n" "IMAGE <size>\n" and then exactly <size> bytes of the file
//   simulator: "PROGRESS <n>\n" now and then, finally "OK <size>\n"; or "ERROR <reason>\n"
//
// where only "OK" with the full size counts as delivered. To a parallel port's DOS device: the
// bytes alone, delivered once every write took its piece whole and the device closed. Progress
// and the outcome come back to the window as posted messages.

#include "tools/transfer-win/Cable.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <windows.h>
#include <winsock2.h>

struct TDeliveryResult {
    bool Delivered = false;
    uint64_t Size = 0;
    uint32_t Crc = 0;    // CRC-32 of what was sent, as zlib computes it
    std::string Problem; // why it failed
};

class TDelivery {
public:
    static constexpr UINT kProgressMessage = WM_APP + 1; // wParam: percent sent
    // lParam: a TDeliveryResult* that the window takes over and deletes.
    static constexpr UINT kEndMessage = WM_APP + 2;
    static constexpr uint64_t kMaxImageSize = 256ull * 1024 * 1024;

    explicit TDelivery(HWND window) : m_window(window) {}
    ~TDelivery();
    TDelivery(const TDelivery&) = delete;
    TDelivery& operator=(const TDelivery&) = delete;

    bool Running() const;
    // False when a delivery is still running or the thread cannot be made.
    bool Start(const std::wstring& imagePath);
    // Breaks the connection of a running delivery; it then ends with a failure.
    void Cancel();

private:
    static DWORD WINAPI Thread(void* self);
    using TSend = std::function<bool(const char* data, size_t count)>;
    TDeliveryResult Deliver();
    // Reads the image to its end and hands it on in pieces to `send`, with its CRC and the
    // progress. False when it cannot be read to its end (result.Problem says so); `sent` tells
    // whether `send` took every piece.
    bool Stream(HANDLE file, TDeliveryResult& result, const TSend& send, bool& sent);
    void DeliverOverTcp(HANDLE file, TDeliveryResult& result);
    void DeliverToLpt(const std::wstring& device, HANDLE file, TDeliveryResult& result);
    void DeliverByPorts(TCableKind kind, HANDLE file, TDeliveryResult& result);
    bool SendAll(SOCKET socket, const char* data, size_t size);
    void Report(UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_window;
    HANDLE m_thread = nullptr;
    std::wstring m_imagePath;
    std::mutex m_socketLock; // the thread closes the socket while the window may cancel it
    SOCKET m_socket = INVALID_SOCKET;
    std::atomic<bool> m_cancelled{false};
};
