// Any text in place of a stored value: it reads as a 32-bit number exactly when it is a whole
// number in the 32-bit range (as either sign), and that number's text reads back the same.

#include "app/SettingsStore.h"

#include <QString>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    int32_t value = 0;
    if (!ParseStoredInteger(text, value))
        return 0;
    int32_t again = 0;
    if (!ParseStoredInteger(QString::number(value), again) || again != value)
        std::abort();
    return 0;
}
