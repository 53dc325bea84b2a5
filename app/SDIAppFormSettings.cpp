// The options of the Configuration page kept between runs, read once while the window is
// built and written on exit and close: the rules are the kept options' (KeptOptions.h); the
// window gives them its settings store and its Configuration page's controls.

#include "app/ConfigurationControls.h"
#include "app/LogEdit.h"
#include "app/SDIAppForm.h"
#include "app/SettingsStore.h"
#include "app/StoredOptions.h"
#include "controls/ComComboBox.h"
#include "serial/platform/PortPaths.h"

void TSDIAppForm::LoadSettings() {
    DecPort->SetComProperty(cpPort); // the system's ports as they are now
    TStoredOptions store(m_services.Settings);
    m_keptOptions.Load(store, *m_optionControls, *ActivePageLog());
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
    TStoredOptions store(m_services.Settings);
    m_keptOptions.Save(store, *m_optionControls);
}
