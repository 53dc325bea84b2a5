#pragma once
// The options kept in the Windows registry: keys under the current user's hive (or under a key
// the caller names), 32-bit values as REG_DWORD, texts as REG_SZ. Names and texts are UTF-8
// here and UTF-16 in the registry. Failures are raised as ERegistryException with the store's
// own texts. A key is held from OpenKey to CloseKey only. One thread at a time.

#include "receiver/OptionStore.h"

#include <cstddef>

// The registry's key handle, as <windows.h> declares it; that header is left to the .cpp, as
// its macros would rename methods such as SendMessage in whoever includes this.
struct HKEY__;
using HKEY = HKEY__*;

class TRegistryStore final : public TOptionStore {
public:
    // Keys under HKEY_CURRENT_USER.
    TRegistryStore();
    // Keys under `root`, which stays the caller's and must outlive the store (tests).
    explicit TRegistryStore(HKEY root);
    ~TRegistryStore() override;
    TRegistryStore(const TRegistryStore&) = delete;
    TRegistryStore& operator=(const TRegistryStore&) = delete;

    // False when the key can be neither opened nor created: every read and write then fails.
    bool OpenKey(const std::string& key, bool create) override;
    void CloseKey() override;
    bool ValueExists(const std::string& name) const override;
    // "Invalid data type for '<name>'" for a value that is not a REG_DWORD, "Failed to get
    // data for '<name>'" for one that cannot be read.
    int32_t ReadInteger(const std::string& name) const override;
    // "Failed to set data for '<name>'" when it cannot be written.
    void WriteInteger(const std::string& name, int32_t value) override;
    // A REG_SZ, up to its first NUL; "Invalid data type" for another type, "Failed to get
    // data" for one longer than LongestText.
    std::string ReadString(const std::string& name) const override;
    // "Failed to set data" also for a text longer than LongestText, which could not be read.
    void WriteString(const std::string& name, const std::string& value) override;

    // The longest text value, in UTF-16 units: a port's name is a few; more is not ours.
    static constexpr size_t LongestText = 4096;

private:
    HKEY m_root;
    HKEY m_key = nullptr;
};
