// The options of the Configuration page kept between runs: seven 32-bit values under the
// user's key, and the chosen port's name beside its position, read once while the window is
// built, written on exit and close.

#include "CSpinEdit.h"
#include "ComComboBox.h"
#include "ComPort.h"
#include "LogEdit.h"
#include "SDIAppForm.h"
#include "ScopeExit.h"
#include "SettingsStore.h"
#include "platform/PortPaths.h"

#include <QCheckBox>

namespace {

const QString Key = QStringLiteral("Software\\VellWriter");

// Reads a value, or writes its default back at once when it is missing.
int32_t ReadOrDefault(TSettingsStore& store, const char* name, int32_t fallback) {
    const QString value = QString::fromLatin1(name);
    if (store.ValueExists(value))
        return store.ReadInteger(value);
    store.WriteInteger(value, fallback);
    return fallback;
}

} // namespace

void TSDIAppForm::LoadSettings() {
    TSettingsStore& store = m_services.Settings;
    DecPort->SetComProperty(cpPort); // the system's ports as they are now
    store.OpenKey(Key, true);
    const TScopeExit close([&store] { store.CloseKey(); });

    const int32_t comPort = ReadOrDefault(store, "ComPort", 0);
    // The port's name, kept beside its position: the position names whatever sorts there
    // today (a newly plugged adapter, a simulator, a name planted in the ports folder). A
    // file from before names were kept has none, and its position counts as it always did.
    const QString portNameKey = QStringLiteral("ComPortName");
    const QString portName =
        store.ValueExists(portNameKey) ? store.ReadString(portNameKey) : QString();
    const int32_t fullCom = ReadOrDefault(store, "FullCom", 0);
    const int32_t comStatus = ReadOrDefault(store, "ComStatus", 0);
    const int32_t confLoad = ReadOrDefault(store, "ConfLoad", 1);
    CheckBox5->setChecked(ReadOrDefault(store, "Freeze", CheckBox5->isChecked()) != 0);
    CheckBox4->setChecked(ReadOrDefault(store, "Startup", CheckBox4->isChecked()) != 0);
    Spin1->SetValue(ReadOrDefault(store, "Delay", Spin1->Value()));

    // An index outside the list, -1 included, leaves no port selected; so does a named port
    // the list no longer has, which is then neither opened nor forgotten.
    int selected = comPort >= 0 && comPort < DecPort->count() ? comPort : -1;
    m_missingPortName.clear();
    if (!portName.isEmpty()) {
        selected = DecPort->findText(portName, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (selected < 0)
            m_missingPortName = portName;
    }
    DecPort->setCurrentIndex(selected);
    CheckBox1->setChecked(fullCom != 0);
    CheckBox2->setChecked(comStatus != 0);
    CheckBox3->setChecked(confLoad != 0);
    CheckBox2Click(CheckBox2);
    store.CloseKey();
    Dec->SetPort(DecPort->Text().toLocal8Bit().toStdString());
    if (!m_missingPortName.isEmpty()) {
        TLogEdit* log = ActivePageLog();
        log->SetColor(clRed);
        log->Append(QStringLiteral("Port ") + m_missingPortName +
                    QStringLiteral(" not found: the port stays closed. Choose a port on the "
                                   "Configuration page..."));
    }
    // Virtual ports in a folder that someone else could have made or could write are left out
    // of the list and never opened; the user learns why here, not only on standard error.
    std::string problem;
    if (Platform::TrustedPortsFolder(false, &problem).empty() && !problem.empty()) {
        TLogEdit* log = ActivePageLog();
        log->SetColor(clRed);
        log->Append("Virtual ports are not used: " + problem);
    }
}

void TSDIAppForm::SaveSettings() {
    TSettingsStore& store = m_services.Settings;
    store.OpenKey(Key, true);
    const TScopeExit close([&store] { store.CloseKey(); });
    store.WriteInteger(QStringLiteral("ComPort"), DecPort->currentIndex());
    store.WriteInteger(QStringLiteral("Delay"), Spin1->Value());
    store.WriteInteger(QStringLiteral("FullCom"), CheckBox1->isChecked() ? 1 : 0);
    store.WriteInteger(QStringLiteral("ComStatus"), CheckBox2->isChecked() ? 1 : 0);
    store.WriteInteger(QStringLiteral("ConfLoad"), CheckBox3->isChecked() ? 1 : 0);
    store.WriteInteger(QStringLiteral("Freeze"), CheckBox5->isChecked() ? 1 : 0);
    store.WriteInteger(QStringLiteral("Startup"), CheckBox4->isChecked() ? 1 : 0);
    // A port that was missing at start-up is kept until the user picks another.
    store.WriteString(QStringLiteral("ComPortName"),
                      DecPort->currentIndex() >= 0 ? DecPort->Text() : m_missingPortName);
}
