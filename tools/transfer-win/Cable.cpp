#include "tools/transfer-win/Cable.h"

#include "external/WinText.h"
#include "tools/transfer-win/WinePaths.h"

TCable CableOf(const std::wstring* value) {
    TCable cable;
    if (value == nullptr)
        return cable;
    const std::wstring& name = *value;
    // DOS device names take any case.
    const auto upper = [](wchar_t c) { return c >= L'a' && c <= L'z' ? wchar_t(c - 32) : c; };
    if (name.size() == 4 && upper(name[0]) == L'L' && upper(name[1]) == L'P' &&
        upper(name[2]) == L'T' && name[3] >= L'1' && name[3] <= L'9') {
        cable.Kind = TCableKind::Lpt;
        cable.Device = std::wstring(L"LPT") + name[3];
    } else if (name == L"ports") {
        cable.Kind = TCableKind::Ports;
    } else if (name == L"inpout") {
        cable.Kind = TCableKind::Inpout;
    } else {
        cable.Kind = TCableKind::Refused;
        cable.Problem =
            "VELL_STANDIN_CABLE \"" + Narrow(name) + "\" is none of LPT1..LPT9, ports or inpout";
    }
    return cable;
}

TCable ChosenCable() {
    const std::optional<std::wstring> value = EnvironmentValue(L"VELL_STANDIN_CABLE");
    return CableOf(value ? &*value : nullptr);
}
