#include "AfxFileFind.h"
#include <cwchar>
#include <vector>

BOOL CFileFind::FindFile(const char* pattern) {
    m_find.Close();
    m_hasFound = m_hasNext = false;
    int n = ::MultiByteToWideChar(CP_ACP, 0, pattern ? pattern : "", -1, nullptr, 0);
    if (n <= 0)
        return FALSE;
    std::vector<wchar_t> wide(n);
    ::MultiByteToWideChar(CP_ACP, 0, pattern ? pattern : "", -1, wide.data(), n);
    m_find.Attach(::FindFirstFileW(wide.data(), &m_next));
    m_hasNext = static_cast<bool>(m_find);
    return m_hasNext;
}

BOOL CFileFind::FindNextFile() {
    if (!m_hasNext)
        return FALSE;
    m_found = m_next;
    m_hasFound = true;
    m_hasNext = ::FindNextFileW(m_find.Get(), &m_next) != FALSE;
    return m_hasNext;
}

std::string CFileFind::GetFileNameUtf8() const {
    return m_hasFound ? WideToUtf8(m_found.cFileName, std::wcslen(m_found.cFileName)) : std::string();
}

bool ReadWholeFile(const std::string& path, std::string& text, bool& missing) {
    CHandle file(
        ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    missing = !file && (::GetLastError() == ERROR_FILE_NOT_FOUND || ::GetLastError() == ERROR_PATH_NOT_FOUND);
    if (!file)
        return false;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart > (256 << 20))
        return false;
    text.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return text.empty() ||
           (::ReadFile(file.Get(), &text[0], static_cast<DWORD>(text.size()), &read, nullptr) &&
            read == text.size());
}
