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
