#include "tools/receiver-sim/LptEntry.h"

#include "tools/receiver-sim/Transfer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace ReceiverSim {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

constexpr int kReaderFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;

} // namespace

TLptEntry::TLptEntry(std::string path) : m_path(std::move(path)) {
    // Made under a name of its own and renamed into place, so that a stale file of a simulator
    // that died is replaced and a link put in the FIFO's place is never followed. The folder is
    // the user's alone, so the name need not be unguessable.
    const std::string temporary = m_path + ".new-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::mkfifo(temporary.c_str(), 0600) != 0)
        Fail("cannot make " + m_path);
    m_fd = ::open(temporary.c_str(), kReaderFlags | O_NOFOLLOW);
    struct stat info {};
    // The mode is set again: the umask may have taken bits from it.
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0 || !S_ISFIFO(info.st_mode) ||
        ::fchmod(m_fd, 0600) != 0 || ::rename(temporary.c_str(), m_path.c_str()) != 0) {
        const int saved = errno;
        if (m_fd >= 0)
            ::close(m_fd);
        ::unlink(temporary.c_str());
        errno = saved;
        Fail("cannot publish " + m_path);
    }
    m_inode = info.st_ino;
}

TLptEntry::~TLptEntry() {
    ::close(m_fd);
    struct stat info {};
    if (::lstat(m_path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode) && info.st_ino == m_inode)
        ::unlink(m_path.c_str());
}

TLptEntry::TState TLptEntry::Read() {
    if (m_ended) {
        m_ended = false;
        m_received = 0;
        m_crc = 0xFFFFFFFFu;
        m_tooLarge = false;
    }
    char buffer[64 * 1024];
    const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
    if (count < 0 && (errno == EAGAIN || errno == EINTR))
        return TState::Waiting;
    if (count > 0) {
        const auto size = static_cast<uint64_t>(count);
        // Past the largest image the rest is drained unread, so the writer still gets to close.
        m_tooLarge = m_tooLarge || m_received + size > TImageReceiver::kMaxImageSize;
        if (!m_tooLarge) {
            m_crc = Crc32Update(m_crc, buffer, size_t(count));
            m_received += size;
        }
        return TState::Waiting;
    }
    // The end, or an error that polling on would only repeat: either way this image is over.
    const TState end = m_tooLarge                     ? TState::TooLarge
                       : count < 0 || m_received == 0 ? TState::Empty
                                                      : TState::Complete;
    Reopen();
    m_ended = true;
    return end;
}

// A reader whose writer has gone reads as ended for good: it is replaced by a new one, opened
// before the old one closes so that a writer is never without a reader.
void TLptEntry::Reopen() {
    const int fresh = ::open(("/proc/self/fd/" + std::to_string(m_fd)).c_str(), kReaderFlags);
    if (fresh < 0)
        Fail("cannot open " + m_path + " again");
    ::close(m_fd);
    m_fd = fresh;
}

} // namespace ReceiverSim
