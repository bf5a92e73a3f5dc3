#include "RegFile.h"
#include "../framework/AfxHandle.h"
#include "../framework/AfxString.h"
#include <cstdio>

namespace {
// Inside quotes a backslash and a quote are escaped with a backslash.
std::wstring Quoted(const std::string& text) {
    std::wstring quoted = L"\"";
    for (wchar_t c : Utf8ToWide(text))
        quoted += c == L'\\' || c == L'"' ? std::wstring{L'\\', c} : std::wstring{c};
    return quoted + L"\"";
}

std::wstring Hex(const std::vector<BYTE>& data) {
    std::wstring hex;
    wchar_t pair[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::swprintf(pair, 4, L"%02x", data[i]);
        hex += (i ? L"," : L"") + std::wstring(pair);
    }
    return hex;
}

// A REG_SZ that the plain "text" form holds exactly: one NUL, at its end, and no line break.
bool IsPlainText(const RegistryValueState& state, std::wstring& text) {
    if (state.type != REG_SZ || state.data.size() % 2 || state.data.size() < 2)
        return false;
    text.assign(reinterpret_cast<const wchar_t*>(state.data.data()), state.data.size() / 2);
    if (text.back() != L'\0')
        return false;
    text.pop_back();
    return text.find_first_of(std::wstring(L"\r\n\0", 3)) == std::wstring::npos;
}

std::wstring DataText(const RegistryValueState& state) {
    std::wstring text;
    if (!state.exists)
        return L"-";
    if (IsPlainText(state, text))
        return Quoted(WideToUtf8(text.data(), text.size()));
    wchar_t head[16];
    if (state.type == REG_DWORD && state.data.size() == 4) {
        std::swprintf(head, 16, L"dword:%08lx", *reinterpret_cast<const DWORD*>(state.data.data()));
        return head;
    }
    if (state.type == REG_BINARY)
        return L"hex:" + Hex(state.data);
    std::swprintf(head, 16, L"hex(%lx):", state.type);
    return head + Hex(state.data);
}
} // namespace

std::wstring RegFileText(const std::string& keyText, const std::string& name,
                         const RegistryValueState& state) {
    static const char* const hives[][2] = {
        {"HKLM", "HKEY_LOCAL_MACHINE"}, {"HKCU", "HKEY_CURRENT_USER"}, {"HKCR", "HKEY_CLASSES_ROOT"}};
    std::string key = keyText;
    for (const auto& hive : hives)
        if (key.compare(0, 5, std::string(hive[0]) + "\\") == 0)
            key = hive[1] + key.substr(4);
    return L"Windows Registry Editor Version 5.00\r\n\r\n[" + Utf8ToWide(key) + L"]\r\n" +
           (name.empty() ? L"@" : Quoted(name)) + L"=" + DataText(state) + L"\r\n\r\n";
}

DWORD WriteNewUnicodeFile(const std::string& path, const std::wstring& text) {
    std::wstring bytes = L"\xFEFF" + text;
    DWORD error = ERROR_SUCCESS;
    {
        CHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
        if (!file)
            return ::GetLastError();
        DWORD size = static_cast<DWORD>(bytes.size() * sizeof(wchar_t)), written = 0;
        if (!::WriteFile(file.Get(), bytes.data(), size, &written, nullptr) || written != size)
            error = ::GetLastError() ? ::GetLastError() : ERROR_WRITE_FAULT;
    }
    if (error) // a torn copy would restore less than was there
        ::DeleteFileA(path.c_str());
    return error;
}
