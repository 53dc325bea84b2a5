#include "tools/receiver-sim/ReceiverLines.h"

#include "tests/support/ModemLines.h"

#include <cstdlib>

namespace ReceiverSim {

TReceiverLines::TReceiverLines(const std::string& slavePath) {
    const char* folder = std::getenv(ModemLines::kFolderVariable);
    if (folder == nullptr || *folder == '\0')
        return;
    m_folder = folder;
    m_lines = std::make_unique<ModemLines::TModemLines>(slavePath, m_folder);
}

TReceiverLines::~TReceiverLines() = default;

void TReceiverLines::SwitchedOn() {
    if (m_lines)
        m_lines->Set(TIOCM_DSR | TIOCM_CD, true);
}

void TReceiverLines::Frozen() {
    if (!m_lines)
        return;
    m_lines->Set(TIOCM_CD, true);
    m_lines->Set(TIOCM_DSR, false);
}

void TReceiverLines::SwitchedOff() {
    if (m_lines)
        m_lines->Set(TIOCM_DSR | TIOCM_CD, false);
}

} // namespace ReceiverSim
