#include "AfxString.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>

void CString::Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    if (n < 0) {
        va_end(ap2);
        m_s.clear();
        return;
    }
    std::string s(static_cast<size_t>(n) + 1, '\0');
    vsnprintf(&s[0], s.size(), fmt, ap2);
    va_end(ap2);
    s.resize(static_cast<size_t>(n));
    m_s = std::move(s);
}

BOOL CString::LoadString(UINT id) {
    char buf[1024];
    int n = ::LoadStringA(::GetModuleHandleA(nullptr), id, buf, sizeof buf);
    m_s.assign(buf, n > 0 ? static_cast<size_t>(n) : 0);
    return n > 0;
}

void CopyCut(char* dst, size_t size, const char* src) {
    if (size == 0)
        return;
    size_t n = 0;
    // Walk whole characters so that a double-byte character is never split.
    while (src && src[n]) {
        size_t step = (::IsDBCSLeadByte(static_cast<BYTE>(src[n])) && src[n + 1]) ? 2 : 1;
        if (n + step > size - 1)
            break;
        n += step;
    }
    if (n)
        std::memcpy(dst, src, n);
    dst[n] = '\0';
}

std::string WideToUtf8(const wchar_t* text, size_t length) {
    if (!text || length == 0)
        return std::string();
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring Utf8ToWide(const std::string& text) {
    if (text.empty())
        return std::wstring();
    int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string Utf8ToAnsi(const std::string& text) {
    // Plain ASCII reads the same in every code page: the common case costs one scan.
    bool ascii = true;
    for (unsigned char c : text)
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return text;
    std::wstring wide = Utf8ToWide(text);
    int n = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                  nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr,
                              nullptr);
    return out;
}

std::string AnsiToUtf8(const char* bytes, size_t length) {
    if (!bytes || length == 0)
        return std::string();
    int n = ::MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(length), nullptr, 0);
    std::wstring wide(n > 0 ? n : 0, L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(length), &wide[0], n);
    return WideToUtf8(wide.data(), wide.size());
}
