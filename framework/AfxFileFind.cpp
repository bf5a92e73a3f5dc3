#include "AfxFileFind.h"
#include "AfxHandle.h"
#include <cwchar>
#include <vector>

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

std::string CFileFind::GetFileNameUtf8() const {
    return m_hasFound ? WideToUtf8(m_found.cFileName, std::wcslen(m_found.cFileName)) : std::string();
}

void CFileFind::Close() {
    if (m_hFind != INVALID_HANDLE_VALUE)
        ::FindClose(m_hFind);
    m_hFind = INVALID_HANDLE_VALUE;
    m_hasFound = m_hasNext = false;
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
