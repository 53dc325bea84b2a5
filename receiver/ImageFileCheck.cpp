#include "ImageFileCheck.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

QString SystemReason(int error) {
    return QString::fromStdString(std::generic_category().message(error));
}

// Why a file of this type is no image; empty for a regular file.
QString TypeProblem(mode_t mode) {
    if (S_ISREG(mode))
        return {};
    const char* what = S_ISFIFO(mode)                   ? "a pipe"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                       : S_ISDIR(mode)                  ? "a folder"
                       : S_ISSOCK(mode)                 ? "a socket"
                                                        : "no regular file";
    return QStringLiteral("it is %1, not a file").arg(QLatin1String(what));
}

} // namespace

int32_t TImageStamp::Size32() const {
    return size > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                      : int32_t(size);
}

TImageMeasure MeasureImage(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    TImageMeasure measure;
    struct stat info {};
    // Looked at first, not opened: opening a device can act on it (a serial port raises its
    // lines, a tape rewinds), and opening a pipe waits for a writer.
    if (::stat(name.constData(), &info) != 0) {
        measure.problem = SystemReason(errno);
        return measure;
    }
    if (measure.problem = TypeProblem(info.st_mode); !measure.problem.isEmpty())
        return measure;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
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
    if (measure.problem = TypeProblem(info.st_mode); !measure.problem.isEmpty())
        return measure;
    measure.stamp = {uint64_t(info.st_dev), uint64_t(info.st_ino), int64_t(info.st_size),
                     int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    return measure;
}

std::optional<QString> SizeQuestion(int32_t kind, int32_t size) {
    const char* sentence = nullptr;
    switch (kind) {
    case 0:
        if (size != 524288)
            sentence = "Usually FLASH file has size 524288 bytes\n and writing a wrong file can "
                       "damage the receiver.\n";
        break;
    case 1:
        if (size < 1024000)
            sentence = "Usually FIRMWARE file has at least size 1024000 bytes\n and writing a "
                       "wrong file can damage the receiver.\n";
        break;
    case 2:
        if (size > 4096)
            sentence = "Usually EEPROM file has size 4096 bytes\n and writing a wrong file can "
                       "damage the receiver.\n";
        break;
    default: break;
    }
    if (sentence == nullptr)
        return std::nullopt;
    return QStringLiteral("You have load a file with size ") + QString::number(size) +
           QStringLiteral(" bytes.\n") + QString::fromLatin1(sentence) +
           QStringLiteral("Continue anyway?");
}

const char* ReadyText(int32_t kind) {
    switch (kind) {
    case 0: return "Ready to load flash with file ";
    case 1: return "Ready to load firmware with file ";
    case 2: return "Ready to load eeprom with file ";
    default: return "";
    }
}
