#include "receiver/KeptOptions.h"

#include "receiver/LogColors.h"

namespace {

const char* const Key = "Software\\VellWriter";

// Reads a value, or writes its default back at once when it is missing.
int32_t ReadOrDefault(TOptionStore& store, const char* name, int32_t fallback) {
    if (store.ValueExists(name))
        return store.ReadInteger(name);
    store.WriteInteger(name, fallback);
    return fallback;
}

// Closes the key however the reads and writes end.
struct TOpenKey {
    explicit TOpenKey(TOptionStore& store) : store(store) { store.OpenKey(Key, true); }
    ~TOpenKey() { store.CloseKey(); }
    TOpenKey(const TOpenKey&) = delete;
    TOpenKey& operator=(const TOpenKey&) = delete;
    TOptionStore& store;
};

} // namespace

void TKeptOptions::Load(TOptionStore& store, TOptionControls& controls, TLog& log) {
    std::string nameFailure; // the store's text, when the port's name could not be read
    {
        const TOpenKey key(store);
        const int32_t comPort = ReadOrDefault(store, "ComPort", 0);
        const int32_t fullCom = ReadOrDefault(store, "FullCom", 0);
        const int32_t comStatus = ReadOrDefault(store, "ComStatus", 0);
        const int32_t confLoad = ReadOrDefault(store, "ConfLoad", 1);
        controls.SetAlwaysFreezeBox(ReadOrDefault(store, "Freeze", controls.AlwaysFreezeBox()) !=
                                    0);
        controls.SetOpenAtStartupBox(ReadOrDefault(store, "Startup", controls.OpenAtStartupBox()) !=
                                     0);
        controls.SetCommandDelayBox(ReadOrDefault(store, "Delay", controls.CommandDelayBox()));
        // The port's name, kept beside its position: the position names whatever sorts there
        // today (a newly plugged adapter, a simulator, a name planted in the ports folder). A
        // file from before names were kept has none, and its position counts as it always did.
        // Read after the seven values, and a name that cannot be read counts as none: a stray
        // value there costs the name only, and the log says so.
        std::string portName;
        try {
            if (store.ValueExists("ComPortName"))
                portName = store.ReadString("ComPortName");
        } catch (const ERegistryException& failure) {
            nameFailure = failure.what();
        }

        // An index outside the list, -1 included, leaves no port selected; so does a named port
        // the list no longer has, which is then neither opened nor forgotten.
        int32_t selected = comPort >= 0 && comPort < controls.PortCount() ? comPort : -1;
        m_missingPortName.clear();
        if (!portName.empty()) {
            selected = controls.FindPort(portName);
            if (selected < 0)
                m_missingPortName = portName;
        }
        controls.ChoosePort(selected);
        controls.SetShowFullCommunicationBox(fullCom != 0);
        controls.SetShowComStatusBox(comStatus != 0);
        controls.SetConfirmDataLoadingBox(confLoad != 0);
    }
    controls.UsePortChoice();
    if (!nameFailure.empty()) {
        log.SetColor(clRed);
        log.AppendUtf8(nameFailure + ": the port is chosen by its position.");
    }
    if (!m_missingPortName.empty()) {
        log.SetColor(clRed);
        log.AppendUtf8("Port " + m_missingPortName +
                       " not found: the port stays closed. Choose a port on the Configuration "
                       "page...");
    }
}

void TKeptOptions::Save(TOptionStore& store, const TOptionControls& controls) const {
    const TOpenKey key(store);
    store.WriteInteger("ComPort", controls.ChosenPort());
    store.WriteInteger("Delay", controls.CommandDelayBox());
    store.WriteInteger("FullCom", controls.ShowFullCommunicationBox() ? 1 : 0);
    store.WriteInteger("ComStatus", controls.ShowComStatusBox() ? 1 : 0);
    store.WriteInteger("ConfLoad", controls.ConfirmDataLoadingBox() ? 1 : 0);
    store.WriteInteger("Freeze", controls.AlwaysFreezeBox() ? 1 : 0);
    store.WriteInteger("Startup", controls.OpenAtStartupBox() ? 1 : 0);
    // A port that was missing at start-up is kept until the user picks another.
    store.WriteString("ComPortName",
                      controls.ChosenPort() >= 0 ? controls.ChosenPortName() : m_missingPortName);
}
