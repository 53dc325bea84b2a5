// The kept options in the real registry (Wine's, run from WineSystemTest.cpp): each case keeps
// them under a key of its own that stands for HKEY_CURRENT_USER, made afresh and removed at its
// end, so that no one's own settings are touched; the options' Software\VellWriter is opened
// under it as under the user's hive.

#include "system/RegistryStore.h"

#include "external/WinText.h"
#include "receiver/KeptOptions.h"
#include "tests/receiver/FieldControls.h"
#include "tests/receiver/RecordingWindow.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>
// After <windows.h>, which it needs.
#include <shlwapi.h>

namespace {

// A stored value as the registry holds it.
struct TRaw {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool operator==(const TRaw&) const = default;
};

TRaw Dword(DWORD value) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
    return {REG_DWORD, {bytes, bytes + sizeof value}};
}
// A text of `units` UTF-16 units, with its NUL or without.
TRaw Text(const std::wstring& text, bool terminated = true) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {REG_SZ, {bytes, bytes + (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t)}};
}

// The test's own stand-in for HKEY_CURRENT_USER. A volatile one cannot hold the options' key,
// which must outlive a restart: it can be neither opened nor created there.
class TOwnRoot {
public:
    explicit TOwnRoot(DWORD options = REG_OPTION_NON_VOLATILE) {
        static int made = 0;
        m_path = L"Software\\VellWriterTests\\" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++made);
        ::SHDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str());
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, options,
                              KEY_ALL_ACCESS, nullptr, &m_root, nullptr) != ERROR_SUCCESS)
            ADD_FAILURE() << "cannot make the test's key";
    }
    ~TOwnRoot() {
        ::RegCloseKey(m_root);
        ::SHDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VellWriterTests"); // when it is empty
    }
    TOwnRoot(const TOwnRoot&) = delete;
    TOwnRoot& operator=(const TOwnRoot&) = delete;

    HKEY Root() const { return m_root; }
    // The registry calls of Windows XP: the test programs run there too.
    void Set(const wchar_t* name, const TRaw& raw) const {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(m_root, L"Software\\VellWriter", 0, nullptr, 0, KEY_SET_VALUE,
                                    nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const LONG set =
            ::RegSetValueExW(key, name, 0, raw.type, raw.data.data(), DWORD(raw.data.size()));
        ::RegCloseKey(key);
        ASSERT_EQ(set, ERROR_SUCCESS);
    }
    // The value as stored; type REG_NONE when it is missing.
    TRaw Get(const wchar_t* name) const {
        TRaw raw;
        HKEY key = nullptr;
        if (::RegOpenKeyExW(m_root, L"Software\\VellWriter", 0, KEY_QUERY_VALUE, &key) !=
            ERROR_SUCCESS)
            return raw;
        DWORD size = 0;
        if (::RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
            raw.data.resize(size);
            ::RegQueryValueExW(key, name, nullptr, &raw.type, raw.data.data(), &size);
            raw.data.resize(size);
        }
        ::RegCloseKey(key);
        return raw;
    }

private:
    std::wstring m_path;
    HKEY m_root = nullptr;
};

// One start of the program: the options loaded into fresh controls; the failure's text, if any.
std::string Start(const TOwnRoot& root, TFieldControls& controls) {
    TRegistryStore store(root.Root());
    TRecordingLog log;
    try {
        TKeptOptions().Load(store, controls, log);
    } catch (const ERegistryException& failure) {
        return failure.what();
    }
    return {};
}

TEST(RegistryStoreTest, LoadOverTheRegistry) {
    const auto first = [](const TOwnRoot&) {};
    const struct {
        const char* what;
        DWORD rootOptions;
        std::function<void(const TOwnRoot&)> stored; // what is in the registry before
        std::string failure;
        std::function<void(const TOwnRoot&, const TFieldControls&)> check;
    } cases[] = {
        {"the very first start writes each default as a REG_DWORD", REG_OPTION_NON_VOLATILE, first,
         "",
         [](const TOwnRoot& root, const TFieldControls& controls) {
             const std::pair<const wchar_t*, DWORD> defaults[] = {
                 {L"ComPort", 0}, {L"FullCom", 0}, {L"ComStatus", 0}, {L"ConfLoad", 1},
                 {L"Freeze", 1},  {L"Startup", 0}, {L"Delay", 500}};
             for (const auto& [name, value] : defaults)
                 EXPECT_EQ(root.Get(name), Dword(value)) << Narrow(name);
             EXPECT_EQ(root.Get(L"ComPortName").type, DWORD(REG_NONE));
             EXPECT_EQ(controls.chosen, 0);
             EXPECT_EQ(controls.portName, "COM1");
         }},
        {"a text where a number belongs stops the load there", REG_OPTION_NON_VOLATILE,
         [](const TOwnRoot& root) {
             for (const wchar_t* name : {L"ComPort", L"FullCom", L"Freeze"})
                 root.Set(name, Dword(0));
             root.Set(L"Startup", Dword(1));
             root.Set(L"Delay", Text(L"250"));
         },
         "Invalid data type for 'Delay'",
         [](const TOwnRoot&, const TFieldControls& controls) {
             EXPECT_FALSE(controls.freeze) << "read before Delay: applied";
             EXPECT_TRUE(controls.startup);
             EXPECT_EQ(controls.delay, 500);
             EXPECT_TRUE(controls.portName.empty()) << "the port is chosen after the values";
         }},
        {"four bytes that are no REG_DWORD", REG_OPTION_NON_VOLATILE,
         [](const TOwnRoot& root) {
             root.Set(L"ComPort", {REG_BINARY, {1, 0, 0, 0}});
         },
         "Invalid data type for 'ComPort'", nullptr},
        {"a port name that is no text costs only the name", REG_OPTION_NON_VOLATILE,
         [](const TOwnRoot& root) {
             root.Set(L"ComPortName", Dword(1));
             root.Set(L"ComPort", Dword(1));
             root.Set(L"Delay", Dword(250));
         },
         "",
         [](const TOwnRoot&, const TFieldControls& controls) {
             EXPECT_EQ(controls.delay, 250) << "read before the name";
             EXPECT_EQ(controls.portName, "COM2") << "chosen by its position";
         }},
        {"a port name without its NUL reads to its end", REG_OPTION_NON_VOLATILE,
         [](const TOwnRoot& root) { root.Set(L"ComPortName", Text(L"COM2", false)); }, "",
         [](const TOwnRoot&, const TFieldControls& controls) {
             EXPECT_EQ(controls.portName, "COM2");
         }},
        {"a port name past any sane length is not read", REG_OPTION_NON_VOLATILE,
         [](const TOwnRoot& root) {
             root.Set(L"ComPortName", Text(std::wstring(TRegistryStore::LongestText + 1, L'C')));
         },
         "",
         [](const TOwnRoot&, const TFieldControls& controls) {
             EXPECT_EQ(controls.portName, "COM1") << "chosen by its position";
         }},
        {"a key that can be neither opened nor created fails the first write", REG_OPTION_VOLATILE,
         first, "Failed to set data for 'ComPort'", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TOwnRoot root(c.rootOptions);
        c.stored(root);
        TFieldControls controls;
        EXPECT_EQ(Start(root, controls), c.failure);
        if (c.check)
            c.check(root, controls);
    }
}

// What is saved at exit is what the next start finds, the port's name (UTF-8 here, UTF-16 in
// the registry) included.
TEST(RegistryStoreTest, OptionsSurviveARestart) {
    const TOwnRoot root;
    TFieldControls before;
    before.ports = {"COM1", "Über-COM"};
    ASSERT_EQ(Start(root, before), "");
    before.full = before.status = true;
    before.freeze = false;
    before.startup = true;
    before.delay = 1234;
    before.chosen = 1;
    {
        TRegistryStore store(root.Root());
        TKeptOptions().Save(store, before);
    }
    EXPECT_EQ(root.Get(L"Delay"), Dword(1234));
    EXPECT_EQ(root.Get(L"ComPortName"), Text(L"\u00DCber-COM"));

    TFieldControls after;
    after.ports = {"Über-COM"}; // the list sorts otherwise now: the name counts
    ASSERT_EQ(Start(root, after), "");
    EXPECT_EQ(after.portName, "Über-COM");
    EXPECT_TRUE(after.full);
    EXPECT_TRUE(after.status);
    EXPECT_FALSE(after.freeze);
    EXPECT_TRUE(after.startup);
    EXPECT_EQ(after.delay, 1234);
}

} // namespace
