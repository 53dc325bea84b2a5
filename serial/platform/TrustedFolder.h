#pragma once
// Whether a folder, a device or a socket peer can be trusted to be the user's own. The virtual
// ports folder may sit under /tmp, where any local user can make a folder of that name first
// and plant a port link to their own terminal or a transfer socket of their own; everything
// that lists, opens or delivers through that folder checks it here first.

#include <string>
#include <sys/types.h>

namespace Platform {

// Each of `folders`, outermost first, is a real directory (lstat: a link is refused), owned by
// the effective user and not writable by group or others. With `create`, a missing one is made
// with mode 0700 and then checked like any other (mkdir never follows a link in the last
// component). False, with the reason naming the folder, for the first that fails; a missing
// folder without `create` is no failure: it has nothing in it.
bool EnsureTrustedFolders(const std::string* folders, size_t count, bool create,
                          std::string* problem);

// An opened port's descriptor: a character device, and a pseudo-terminal only when it belongs
// to the effective user (another user's terminal would get the receiver's answers).
bool IsTrustedDevice(int fd);

// The user id at the other end of a connected Unix socket, as the kernel saw it at connect
// time (SO_PEERCRED); false when it cannot be told.
bool PeerIsUser(int socketFd);

// Writes "<who>: <problem>" to standard error, once per distinct problem in this process: the
// port list is read again and again, the user needs telling only once.
void TellOnce(const std::string& who, const std::string& problem);

} // namespace Platform
