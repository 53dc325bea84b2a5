#pragma once
// The options kept between runs: seven 32-bit values under the user's key, and the chosen
// port's name beside its position. Read once while the window is built: a missing value is
// written back with its default at once, each option applied as soon as it is read, and the
// port chosen by its stored name when there is one; a named port the list lacks is neither
// opened nor forgotten, and the log says so. The name is read after the seven values, and one
// that cannot be read counts as none (told in the log). Written on exit and close. UI thread
// only.

#include "receiver/Log.h"
#include "receiver/OptionControls.h"
#include "receiver/OptionStore.h"

#include <string>

class TKeptOptions {
public:
    // Reads the options into the controls; the port's line goes to `log`. Raises the store's
    // failures, with the key closed.
    void Load(TOptionStore& store, TOptionControls& controls, TLog& log);
    void Save(TOptionStore& store, const TOptionControls& controls) const;

    // The stored port's name when the port list lacked it at start-up; empty otherwise.
    const std::string& MissingPortName() const { return m_missingPortName; }

private:
    std::string m_missingPortName;
};
