#include "AfxFileFind.h"
#include <cstring>

BOOL CFileFind::FindFile(const char* pattern) {
    Close();
    m_hFind = ::FindFirstFileA(pattern, &m_next);
    m_hasNext = m_hFind != INVALID_HANDLE_VALUE;
    return m_hasNext;
}

BOOL CFileFind::FindNextFile() {
    if (!m_hasNext)
        return FALSE;
    m_found = m_next;
    m_hasFound = true;
    m_hasNext = ::FindNextFileA(m_hFind, &m_next) != FALSE;
    return m_hasNext;
}

CString CFileFind::GetFileName() const {
    if (!m_hasFound)
        return CString();
    return CString(std::string(m_found.cFileName, ::strnlen(m_found.cFileName, MAX_PATH)));
}

void CFileFind::Close() {
    if (m_hFind != INVALID_HANDLE_VALUE)
        ::FindClose(m_hFind);
    m_hFind = INVALID_HANDLE_VALUE;
    m_hasFound = m_hasNext = false;
}
