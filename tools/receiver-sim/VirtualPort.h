#pragma once
// The simulator's presence on the system: a pseudo-terminal published as a virtual port (a link
// in the per-user ports folder, the same folder Vell Writer lists), and the transfer socket
// beside it. Everything here cleans up after itself, and only what it made.

#include <string>
#include <sys/types.h>

namespace ReceiverSim {

// The per-user virtual ports folder, made (mode 0700) if missing. Refuses a folder that is not
// a directory of ours alone: ports published there would be someone else's to redirect.
// Throws std::runtime_error.
std::string EnsurePortsFolder();

// A name fit for a link in that folder: letters, digits, '.', '_', '-', not "." or "..".
bool IsValidPortName(const std::string& name);

// A pseudo-terminal whose master the simulator plays on. The slave is opened once and held for
// the life of the terminal: with no slave open the master reports a hang-up on every poll, and
// the raw settings would be lost between the program's opens.
class TPseudoTerminal {
public:
    TPseudoTerminal(); // throws std::runtime_error
    ~TPseudoTerminal();
    TPseudoTerminal(const TPseudoTerminal&) = delete;
    TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

    int Master() const { return m_master; }
    const std::string& SlavePath() const { return m_slavePath; }
    bool IsOpen() const { return m_master >= 0; }
    // Closes both ends: the kernel removes the slave device, so the port is gone.
    void Close();

private:
    int m_master = -1;
    int m_heldSlave = -1;
    std::string m_slavePath;
};

// A link at `path` to `target`, put in place atomically so that a lister never sees a half-made
// port; an existing link of that name (one a crashed run left) is replaced. Throws
// std::runtime_error.
void PublishLink(const std::string& path, const std::string& target);
// Removes the link only if it still points at `target`: a later simulator may have taken the
// name over, and its port is not ours to take away.
void RemoveLinkIfOurs(const std::string& path, const std::string& target);

// Whether something listens on the Unix socket at `path`.
bool SocketAnswers(const std::string& path);
// A non-blocking listening Unix stream socket at `path`, replacing a dead socket file of that
// name; its inode goes to `inode` for the removal check. Throws std::runtime_error.
int ListenOnSocket(const std::string& path, ino_t& inode);
// Removes the socket file only if it is still the one we bound.
void RemoveSocketIfOurs(const std::string& path, ino_t inode);

} // namespace ReceiverSim
