#include "app/SettingsStore.h"

#include "app/ScopeExit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString DefaultFileName() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/VellWriter/VellWriter.conf");
}

std::string Text(const char* format, const QString& name) {
    return QString::fromLatin1(format).arg(name).toStdString();
}

// No settings file of ours comes near this; anything larger is not one.
constexpr qint64 LargestFile = 64 * 1024;

// Whether the file, where there is one, may be handed to QSettings: a regular file of at most
// 64 KiB without a NUL byte. QSettings reads whatever it is given whole (a link to /dev/zero
// until memory runs out, a pipe until someone writes) and writes back only what it parsed, so a
// file that fails here must be neither read by QSettings nor written: its contents would be
// lost. A NUL byte marks a file that is no text at all, not one a person edited. Every line of
// a text file is QSettings' to judge: a comment or a line it makes nothing of costs that line,
// not the values beside it. The file is opened without blocking, so that a pipe cannot hold the
// start. A name with nothing behind it but a dangling link is no file.
bool ReadsAsSettings(const QString& fileName) {
    const QByteArray name = QFile::encodeName(fileName);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        struct stat link {};
        return (errno == ENOENT || errno == ENOTDIR) && ::lstat(name.constData(), &link) != 0;
    }
    const TScopeExit close([fd] { ::close(fd); });
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > LargestFile)
        return false;
    QByteArray text(LargestFile + 1, '\0');
    qsizetype got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, size_t(text.size() - got));
        if (n > 0)
            got += n;
        else if (n == 0 || errno != EINTR)
            break;
    }
    // A file that grew past the limit since fstat is refused as well.
    if (got > LargestFile)
        return false;
    text.truncate(got);
    return !text.contains('\0');
}

} // namespace

TSettingsStore::TSettingsStore() : TSettingsStore(DefaultFileName()) {}

TSettingsStore::TSettingsStore(const QString& fileName) : m_fileName(fileName) {}

TSettingsStore::~TSettingsStore() = default;

QString TSettingsStore::FileName() const {
    return m_fileName;
}

bool TSettingsStore::OpenKey(const QString& key, bool create) {
    m_key = key;
    // Opened afresh for each operation: a failure of the last one (a read-only file since
    // made writable, a damaged file since removed) must not stay with the store.
    m_unreadable = !ReadsAsSettings(m_fileName);
    // QSettings would read a refused file itself, whole: it is not given one.
    m_settings =
        m_unreadable ? nullptr : std::make_unique<QSettings>(m_fileName, QSettings::IniFormat);
    // A key exists once it holds a value; creating one is making room for the file.
    if (m_unreadable) {
        if (!create)
            return false;
    } else if (create) {
        QDir().mkpath(QFileInfo(m_fileName).absolutePath());
    } else {
        m_settings->beginGroup(QString(key).replace(u'\\', u'/'));
        const bool exists = !m_settings->childKeys().isEmpty();
        m_settings->endGroup();
        if (!exists)
            return false;
    }
    m_open = true;
    return true;
}

void TSettingsStore::CloseKey() {
    if (m_settings)
        m_settings->sync();
    m_open = false;
}

QString TSettingsStore::Path(const QString& name) const {
    return QString(m_key).replace(u'\\', u'/') + u'/' + name;
}

bool TSettingsStore::ValueExists(const QString& name) const {
    // In a file that cannot be read the value may well be there: the read then says so, rather
    // than a default being written over it.
    return m_open && (m_unreadable || m_settings->contains(Path(name)));
}

int32_t TSettingsStore::ReadInteger(const QString& name) const {
    if (!m_open || m_unreadable || m_settings->status() == QSettings::AccessError)
        throw ERegistryException(Text("Failed to get data for '%1'", name));
    int32_t number = 0;
    if (!ParseStoredInteger(m_settings->value(Path(name)).toString(), number))
        throw ERegistryException(Text("Invalid data type for '%1'", name));
    return number;
}

bool ParseStoredInteger(const QString& text, int32_t& value) {
    bool whole = false;
    const qlonglong number = text.trimmed().toLongLong(&whole);
    if (!whole || number < INT32_MIN || number > qlonglong(UINT32_MAX))
        return false;
    value = int32_t(uint32_t(number));
    return true;
}

void TSettingsStore::WriteInteger(const QString& name, int32_t value) {
    if (!m_open || m_unreadable)
        throw ERegistryException(Text("Failed to set data for '%1'", name));
    m_settings->setValue(Path(name), value);
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        throw ERegistryException(Text("Failed to set data for '%1'", name));
}

QString TSettingsStore::ReadString(const QString& name) const {
    if (!m_open || m_unreadable || m_settings->status() == QSettings::AccessError)
        throw ERegistryException(Text("Failed to get data for '%1'", name));
    const QVariant value = m_settings->value(Path(name));
    if (value.typeId() != QMetaType::QString)
        throw ERegistryException(Text("Invalid data type for '%1'", name));
    return value.toString();
}

void TSettingsStore::WriteString(const QString& name, const QString& value) {
    if (!m_open || m_unreadable)
        throw ERegistryException(Text("Failed to set data for '%1'", name));
    m_settings->setValue(Path(name), value);
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        throw ERegistryException(Text("Failed to set data for '%1'", name));
}
