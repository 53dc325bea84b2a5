// The Windows port list over a registry key of the test's own, under the current user.
#include "serial/EnumComPorts.h"

#define WIN32_LEAN_AND_MEAN
#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>

using Names = std::vector<std::string>;

namespace {

class SerialCommKey : public ::testing::Test {
protected:
    void SetUp() override {
        path = L"Software\\VellWriterTests\\SERIALCOMM-" + std::to_wstring(GetCurrentProcessId());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key);
        RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str()); // it has values only, no subkeys
    }
    void Text(const wchar_t* name, const std::wstring& data, DWORD type = REG_SZ) {
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                                 DWORD((data.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    Names List(const std::wstring& subKey) {
        Names names{"stale"};
        EnumComPortsFromKey(HKEY_CURRENT_USER, subKey, names);
        return names;
    }

    std::wstring path;
    HKEY key = nullptr;
};

} // namespace

TEST_F(SerialCommKey, ListsTheValuesDataSortedWithoutCase) {
    Text(L"\\Device\\Serial0", L"COM2");
    Text(L"\\Device\\Serial1", L"COM10");
    Text(L"\\Device\\Serial2", L"COM1");
    Text(L"\\Device\\Serial3", L"com1");
    Text(L"\\Device\\VirtualSerial", L"Zeta");
    Text(L"\\Device\\Expanded", L"COM3", REG_EXPAND_SZ);
    Names names = List(path);
    // COM1 and com1 compare equal: both stay, in the order the key gave them.
    std::sort(names.begin(), names.begin() + std::min<size_t>(2, names.size()));
    EXPECT_EQ(names, (Names{"COM1", "com1", "COM10", "COM2", "COM3", "Zeta"}));
}

TEST_F(SerialCommKey, AMissingKeyGivesAnEmptyList) {
    EXPECT_EQ(List(path + L"\\absent"), Names{});
    EXPECT_EQ(List(path), Names{}); // present, without values
}

TEST_F(SerialCommKey, AValueThatIsNotTextFails) {
    Text(L"\\Device\\Serial0", L"COM1");
    const DWORD number = 3;
    ASSERT_EQ(RegSetValueExW(key, L"Serial9", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                             sizeof number),
              ERROR_SUCCESS);
    try {
        List(path);
        ADD_FAILURE() << "no failure";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Invalid data type for 'Serial9'");
    }
}

// The system's own list: whatever it has, the earlier contents go.
TEST(EnumComPorts, ReplacesTheListOnThisSystem) {
    Names ports{"not a port: earlier contents"};
    EnumComPorts(ports);
    EXPECT_EQ(std::count(ports.begin(), ports.end(), "not a port: earlier contents"), 0);
}
