#include "SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

QString DefaultFileName() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/VellWriter/VellWriter.conf");
}

std::string Text(const char* format, const QString& name) {
    return QString::fromLatin1(format).arg(name).toStdString();
}

} // namespace

TSettingsStore::TSettingsStore() : TSettingsStore(DefaultFileName()) {}

TSettingsStore::TSettingsStore(const QString& fileName)
    : m_settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat)) {}

TSettingsStore::~TSettingsStore() = default;

QString TSettingsStore::FileName() const { return m_settings->fileName(); }

bool TSettingsStore::OpenKey(const QString& key, bool create) {
    m_key = key;
    // A key exists once it holds a value; creating one is making room for the file.
    if (create) {
        QDir().mkpath(QFileInfo(m_settings->fileName()).absolutePath());
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
    m_settings->sync();
    m_open = false;
}

QString TSettingsStore::Path(const QString& name) const {
    return QString(m_key).replace(u'\\', u'/') + u'/' + name;
}

bool TSettingsStore::ValueExists(const QString& name) const {
    return m_settings->contains(Path(name));
}

int32_t TSettingsStore::ReadInteger(const QString& name) const {
    if (m_settings->status() == QSettings::AccessError)
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
    if (m_open)
        m_settings->setValue(Path(name), value);
    m_settings->sync();
    if (!m_open || m_settings->status() != QSettings::NoError)
        throw ERegistryException(Text("Failed to set data for '%1'", name));
}
