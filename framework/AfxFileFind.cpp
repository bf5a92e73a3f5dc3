#include "AfxFileFind.h"
#include <cstdio>
#include <cwchar>
#include <vector>

namespace {
// `text` in the code page; `lossy` is set when a character had to be replaced.
std::string ToCodePage(const wchar_t* text, bool& lossy) {
    lossy = false;
    BOOL usedDefault = FALSE;
    // UTF-8 and the other code pages that can show everything take no replacement flag.
    BOOL* flag = ::GetACP() == CP_UTF8 ? nullptr : &usedDefault;
    int n = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, flag);
    if (n <= 0)
        return std::string();
    std::vector<char> out(n);
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, flag);
    lossy = usedDefault != FALSE;
    return std::string(out.data());
}
} // namespace

BOOL CFileFind::FindFile(const char* pattern) {
    Close();
    int n = ::MultiByteToWideChar(CP_ACP, 0, pattern ? pattern : "", -1, nullptr, 0);
    if (n <= 0)
        return FALSE;
    std::vector<wchar_t> wide(n);
    ::MultiByteToWideChar(CP_ACP, 0, pattern ? pattern : "", -1, wide.data(), n);
    m_hFind = ::FindFirstFileW(wide.data(), &m_next);
    m_hasNext = m_hFind != INVALID_HANDLE_VALUE;
    return m_hasNext;
}

BOOL CFileFind::FindNextFile() {
    if (!m_hasNext)
        return FALSE;
    m_found = m_next;
    m_hasFound = true;
    m_hasNext = ::FindNextFileW(m_hFind, &m_next) != FALSE;
    return m_hasNext;
}

CString CFileFind::GetFileName() const {
    if (!m_hasFound)
        return CString();
    bool lossy;
    return CString(ToCodePage(m_found.cFileName, lossy));
}

CString CFileFind::GetFileKey() const {
    if (!m_hasFound)
        return CString();
    bool lossy;
    std::string key = ToCodePage(m_found.cFileName, lossy);
    if (lossy) {
        key += '\t';
        for (size_t i = 0; i < MAX_PATH && m_found.cFileName[i]; ++i) {
            char unit[8];
            std::snprintf(unit, sizeof unit, "%04x", static_cast<unsigned>(m_found.cFileName[i]));
            key += unit;
        }
    }
    return CString(key);
}

void CFileFind::Close() {
    if (m_hFind != INVALID_HANDLE_VALUE)
        ::FindClose(m_hFind);
    m_hFind = INVALID_HANDLE_VALUE;
    m_hasFound = m_hasNext = false;
}
