#pragma once
// The settings store as the kept options reach it: names and texts in UTF-8, converted here at
// the window's edge. UI thread only.

#include "app/SettingsStore.h"
#include "receiver/OptionStore.h"

class TStoredOptions final : public TOptionStore {
public:
    explicit TStoredOptions(TSettingsStore& store) : m_store(store) {}

    bool OpenKey(const std::string& key, bool create) override {
        return m_store.OpenKey(Text(key), create);
    }
    void CloseKey() override { m_store.CloseKey(); }
    bool ValueExists(const std::string& name) const override {
        return m_store.ValueExists(Text(name));
    }
    int32_t ReadInteger(const std::string& name) const override {
        return m_store.ReadInteger(Text(name));
    }
    void WriteInteger(const std::string& name, int32_t value) override {
        m_store.WriteInteger(Text(name), value);
    }
    std::string ReadString(const std::string& name) const override {
        return m_store.ReadString(Text(name)).toStdString();
    }
    void WriteString(const std::string& name, const std::string& value) override {
        m_store.WriteString(Text(name), Text(value));
    }

private:
    static QString Text(const std::string& text) { return QString::fromStdString(text); }

    TSettingsStore& m_store;
};
