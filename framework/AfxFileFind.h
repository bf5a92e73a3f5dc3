// CFileFind: enumerates the entries that match a pattern, as MFC's does. FindNextFile moves to
// the next entry and tells whether another one follows, so the entry reached by the call that
// returns false is still valid and is taken like every other.
//
// Entries are read in UTF-16, and their names given as UTF-8, so that names the code page
// cannot show whole stay apart.
#pragma once
#include "AfxHandle.h"
#include "AfxString.h"
#include <windows.h>

// Reads a whole file of up to 256 MB into `text`; false when it cannot, with `missing` telling
// whether it was not there at all.
bool ReadWholeFile(const std::string& path, std::string& text, bool& missing);

class CFileFind {
public:
    // Starts a search; false when nothing matches (or the folder cannot be read).
    BOOL FindFile(const char* pattern);
    // Moves to the next entry; false when the entry reached is the last one.
    BOOL FindNextFile();
    // The entry reached by FindNextFile, without its folder; empty before the first call.
    std::string GetFileNameUtf8() const;

private:
    CFindHandle m_find;
    WIN32_FIND_DATAW m_found{};
    WIN32_FIND_DATAW m_next{};
    bool m_hasFound = false;
    bool m_hasNext = false;
};
