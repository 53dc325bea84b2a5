#pragma once
// The per-user settings store: named 32-bit values (and texts) under a key, in the manner of the
// system registry, kept here in a settings file through QSettings. A key's path keeps its
// backslashes ("Software\VellWriter"); the file is the user's, under ~/.config.
//
// Failures are raised as ERegistryException with the store's own texts. The operations are
// virtual so that a test can watch the order in which values are read and written.

#include "receiver/RegistryException.h"

#include <QString>
#include <cstdint>
#include <memory>

class QSettings;

// A stored value's text as a 32-bit number: anything from -2^31 to 2^32 - 1 reads as its 32
// bits (values are DWORDs elsewhere). False for anything else.
bool ParseStoredInteger(const QString& text, int32_t& value);

class TSettingsStore {
public:
    // The user's own store: $XDG_CONFIG_HOME/VellWriter/VellWriter.conf.
    TSettingsStore();
    // A store in the given file (tests, or another user profile).
    explicit TSettingsStore(const QString& fileName);
    virtual ~TSettingsStore();
    TSettingsStore(const TSettingsStore&) = delete;
    TSettingsStore& operator=(const TSettingsStore&) = delete;

    QString FileName() const;

    // Opens a key; with `create` a missing key is made. False when it cannot be opened.
    virtual bool OpenKey(const QString& key, bool create);
    virtual void CloseKey();
    virtual bool ValueExists(const QString& name) const;
    // "Invalid data type for '<name>'" for a value that is not a 32-bit number,
    // "Failed to get data for '<name>'" for one that cannot be read. In a file that cannot be
    // read as settings every value counts as there and unreadable.
    virtual int32_t ReadInteger(const QString& name) const;
    // "Failed to set data for '<name>'" when the value cannot be written; a file that cannot
    // be read as settings is never written.
    virtual void WriteInteger(const QString& name, int32_t value);
    // A text value, with the failures of the numbers; "Invalid data type for '<name>'" for one
    // that is not plain text (a list, bytes).
    virtual QString ReadString(const QString& name) const;
    virtual void WriteString(const QString& name, const QString& value);

private:
    QString Path(const QString& name) const;

    QString m_fileName;
    std::unique_ptr<QSettings> m_settings; // the file as read by the last OpenKey
    QString m_key;
    bool m_open = false;
    bool m_unreadable = false; // the file is there but does not read as settings
};
