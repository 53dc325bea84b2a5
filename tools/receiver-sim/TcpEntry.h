#pragma once
// The image channel's second way in, for a transfer program that cannot reach a Unix socket (a
// Windows program under Wine): a TCP listener on 127.0.0.1, on a port the system picks,
// published as the file "<port name>.tcp" beside the port link. The file, mode 0600 in the
// user's private ports folder, holds "<tcp port> <secret>\n"; the secret is 32 hex digits
// from /dev/urandom, new at every start. Any local user can connect to a loopback port, so a
// client first proves it could read the file:
//
//   client -> "SECRET <secret>\n", then the image channel of Transfer.h on the same connection
//   server -> "ERROR wrong secret\n" and the connection closed, for a wrong or missing secret

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace ReceiverSim {

// 32 hex digits from /dev/urandom. Throws std::runtime_error.
std::string MakeSecret();

// A non-blocking listening TCP socket on 127.0.0.1; its port goes to `port`. Throws
// std::runtime_error.
int ListenOnLoopback(uint16_t& port);

// Writes "<port> <secret>\n" to `path`, mode 0600, put in place atomically (a stale file of
// that name is replaced, a link of that name too, never followed); its inode goes to `inode`.
// Throws std::runtime_error.
void PublishTcpFile(const std::string& path, uint16_t port, const std::string& secret,
                    ino_t& inode);
// Removes the file only if it is still the one we wrote.
void RemoveTcpFileIfOurs(const std::string& path, ino_t inode);

// The first line of a TCP client, checked against the secret.
class TSecretCheck {
public:
    enum class TState { Waiting, Accepted, Refused };
    static constexpr size_t kMaxLineLength = 64;

    explicit TSecretCheck(std::string secret = {}) : m_expected("SECRET " + std::move(secret)) {}

    // Takes bytes up to the end of the first line; returns how many it used (the rest belong
    // to the image channel).
    size_t Feed(const char* data, size_t count);
    TState State() const { return m_state; }

private:
    std::string m_expected;
    std::string m_line;
    TState m_state = TState::Waiting;
};

} // namespace ReceiverSim
