#pragma once
// Emulated modem lines for pseudo-terminals, which have none of their own. The preloaded
// library libvell_modem_lines.so (tests/support/modem-lines) answers the modem-line ioctls of
// a pseudo-terminal slave from a register in a small shared file, one per pseudo-terminal, in
// the folder named by VELL_MODEM_LINES; without that variable every ioctl goes to the kernel.
// The slave side sets DTR and RTS through the ioctls; the far end (a test, the receiver
// simulator) sets CTS, DSR, RI and CD, and reads DTR and RTS, through TModemLines here.
//
// The register is shared by every process that maps it; every field is a lock-free atomic, and
// `changes` is a futex word (shared, not private) bumped on each change of an input line, which
// is what a waiter in TIOCMIWAIT sleeps on. Any thread may use a TModemLines.

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <linux/futex.h>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace ModemLines {

constexpr const char* kFolderVariable = "VELL_MODEM_LINES";
// What the library exports so that a process can tell it is loaded.
constexpr const char* kPresenceSymbol = "vell_modem_lines_loaded";
constexpr int kInputs = TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD;
constexpr int kOutputs = TIOCM_DTR | TIOCM_RTS;

struct TRegister {
    std::atomic<uint32_t> lines;   // TIOCM_* bits
    std::atomic<uint32_t> changes; // futex word: bumped after every change of an input
    // Edges of each input, as TIOCGICOUNT counts them (every edge, also of RI).
    std::atomic<uint32_t> cts, dsr, rng, dcd;
    // Calls in TIOCMIWAIT that took their starting point and wait: a change made while this is
    // above 0 wakes them.
    std::atomic<uint32_t> waiting;
};
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) &&
                  std::atomic<uint32_t>::is_always_lock_free,
              "the register is shared between processes as plain words");

// The pseudo-terminal number of a slave descriptor (major 136..143), -1 for anything else.
inline int PtyIndex(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode))
        return -1;
    const unsigned major = ::major(status.st_rdev);
    if (major < 136 || major > 143)
        return -1;
    return int((major - 136) * 256 + ::minor(status.st_rdev));
}

// The register of pseudo-terminal `index` in `folder`, made (all lines down) where it is not
// there yet; nullptr when it cannot be had. Unmap it with Unmap.
inline TRegister* Map(const std::string& folder, int index) {
    const std::string path = folder + "/pts-" + std::to_string(index);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    struct stat status {};
    // Only grown, never cut: another process may have it mapped already.
    if (::fstat(fd, &status) != 0 ||
        (size_t(status.st_size) < sizeof(TRegister) && ::ftruncate(fd, sizeof(TRegister)) != 0)) {
        ::close(fd);
        return nullptr;
    }
    void* memory = ::mmap(nullptr, sizeof(TRegister), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    return memory == MAP_FAILED ? nullptr : static_cast<TRegister*>(memory);
}
inline void Unmap(TRegister* reg) {
    ::munmap(reg, sizeof(TRegister));
}

inline void WakeWaiters(TRegister& reg) {
    reg.changes.fetch_add(1);
    ::syscall(SYS_futex, &reg.changes, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

// Sets (on) or clears the input lines in `mask`, counting each edge and waking waiters.
inline void ChangeInputs(TRegister& reg, int mask, bool on) {
    const uint32_t bits = uint32_t(mask & kInputs);
    const uint32_t before = on ? reg.lines.fetch_or(bits) : reg.lines.fetch_and(~bits);
    const uint32_t after = on ? before | bits : before & ~bits;
    const uint32_t changed = before ^ after;
    if (changed == 0)
        return;
    const std::pair<int, std::atomic<uint32_t>*> counters[] = {
        {TIOCM_CTS, &reg.cts}, {TIOCM_DSR, &reg.dsr}, {TIOCM_RNG, &reg.rng}, {TIOCM_CD, &reg.dcd}};
    for (const auto& [line, counter] : counters)
        if (changed & uint32_t(line))
            counter->fetch_add(1);
    WakeWaiters(reg);
}

// True when the library is loaded into this process.
inline bool SeamLoaded() {
    return ::dlsym(RTLD_DEFAULT, kPresenceSymbol) != nullptr;
}

// The far end's side of one pseudo-terminal's lines. Made before the slave is handed out, it
// starts the register afresh (inputs down, DTR and RTS up, as a terminal's open leaves them):
// pseudo-terminal numbers are used again once freed. An onlooker (`fresh` false) leaves the
// lines as the far end set them.
class TModemLines {
public:
    TModemLines(const std::string& slavePath, const std::string& folder, bool fresh = true) {
        struct stat status {};
        if (::stat(slavePath.c_str(), &status) != 0 || ::major(status.st_rdev) < 136 ||
            ::major(status.st_rdev) > 143)
            throw std::runtime_error(slavePath + " is no pseudo-terminal slave");
        m_reg = Map(folder, int((::major(status.st_rdev) - 136) * 256 + ::minor(status.st_rdev)));
        if (m_reg == nullptr)
            throw std::runtime_error("no modem-line register for " + slavePath + " in " + folder);
        if (fresh) {
            ChangeInputs(*m_reg, kInputs, false);
            m_reg->lines.fetch_or(kOutputs);
        }
    }
    // In the folder this process's environment names.
    explicit TModemLines(const std::string& slavePath) : TModemLines(slavePath, FolderOrThrow()) {}
    ~TModemLines() { Unmap(m_reg); }
    TModemLines(const TModemLines&) = delete;
    TModemLines& operator=(const TModemLines&) = delete;

    // Raises (on) or drops the far end's lines: TIOCM_CTS, TIOCM_DSR, TIOCM_RNG, TIOCM_CD.
    void Set(int mask, bool on) { ChangeInputs(*m_reg, mask, on); }
    // Every line as the slave sees it, DTR and RTS as it last set them.
    int Lines() const { return int(m_reg->lines.load()); }
    // Until the slave's side waits in TIOCMIWAIT, so that the next change wakes it (false
    // after five seconds without): a change made before it waits would go unseen, as it would
    // on a real line, and a test would wait for nothing.
    bool WaitForWatcher() const {
        for (int i = 0; i < 5000 && m_reg->waiting.load() == 0; ++i)
            ::usleep(1000);
        return m_reg->waiting.load() != 0;
    }

private:
    static std::string FolderOrThrow() {
        const char* folder = std::getenv(kFolderVariable);
        if (folder == nullptr || *folder == '\0')
            throw std::runtime_error(std::string(kFolderVariable) + " names no folder");
        return folder;
    }

    TRegister* m_reg = nullptr;
};

// A folder of the caller's own for the registers, named in this process's environment (and so
// in its children's) while it lives. Fails when the library is not loaded: a test that relies
// on it must not pass on a terminal without lines.
class TPrivateModemLines {
public:
    TPrivateModemLines() {
        if (!SeamLoaded())
            throw std::runtime_error("libvell_modem_lines.so is not preloaded (run through ctest)");
        m_folder = (std::filesystem::temp_directory_path() / "vell-lines-XXXXXX").string();
        if (::mkdtemp(m_folder.data()) == nullptr)
            throw std::runtime_error("cannot make a folder for the modem lines");
        ::setenv(kFolderVariable, m_folder.c_str(), 1);
    }
    ~TPrivateModemLines() {
        ::unsetenv(kFolderVariable);
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }
    TPrivateModemLines(const TPrivateModemLines&) = delete;
    TPrivateModemLines& operator=(const TPrivateModemLines&) = delete;

    const std::string& Folder() const { return m_folder; }

private:
    std::string m_folder;
};

} // namespace ModemLines
