#pragma once
// Where the options are kept between runs: named 32-bit values and texts under a key, in the
// manner of the system registry. Each system's store implements it (a settings file here, the
// registry on Windows). Names are UTF-8. Failures are raised as ERegistryException with the
// store's own texts.

#include "receiver/RegistryException.h"

#include <cstdint>
#include <string>

class TOptionStore {
public:
    virtual ~TOptionStore() = default;

    // Opens a key; with `create` a missing key is made. False when it cannot be opened.
    virtual bool OpenKey(const std::string& key, bool create) = 0;
    virtual void CloseKey() = 0;
    virtual bool ValueExists(const std::string& name) const = 0;
    virtual int32_t ReadInteger(const std::string& name) const = 0;
    virtual void WriteInteger(const std::string& name, int32_t value) = 0;
    virtual std::string ReadString(const std::string& name) const = 0;
    virtual void WriteString(const std::string& name, const std::string& value) = 0;
};
