#include "system/PosixImageFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

std::string SystemReason(int error) {
    return std::generic_category().message(error);
}

// Why a file of this type is no image; empty for a regular file.
std::string TypeProblem(mode_t mode) {
    if (S_ISREG(mode))
        return {};
    return NotAFileProblem(S_ISFIFO(mode)                   ? TNotAFile::Pipe
                           : S_ISCHR(mode) || S_ISBLK(mode) ? TNotAFile::Device
                           : S_ISDIR(mode)                  ? TNotAFile::Folder
                           : S_ISSOCK(mode)                 ? TNotAFile::Socket
                                                            : TNotAFile::Other);
}

} // namespace

const TImageFiles& SystemImageFiles() {
    static const TPosixImageFiles files;
    return files;
}

TImageMeasure TPosixImageFiles::Measure(const std::string& path) const {
    TImageMeasure measure;
    struct stat info {};
    // Looked at first, not opened: opening a device can act on it (a serial port raises its
    // lines, a tape rewinds), and opening a pipe waits for a writer.
    if (::stat(path.c_str(), &info) != 0) {
        measure.problem = SystemReason(errno);
        return measure;
    }
    if (measure.problem = TypeProblem(info.st_mode); !measure.problem.empty())
        return measure;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        measure.problem = SystemReason(errno);
        return measure;
    }
    const bool measured = ::fstat(fd, &info) == 0;
    const int error = errno;
    ::close(fd);
    if (!measured) {
        measure.problem = SystemReason(error);
        return measure;
    }
    if (measure.problem = TypeProblem(info.st_mode); !measure.problem.empty())
        return measure;
    measure.stamp = {uint64_t(info.st_dev), uint64_t(info.st_ino), int64_t(info.st_size),
                     int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    return measure;
}
