// CString, CStringArray: 8-bit text on std::string, with the few MFC operations the program uses.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

class CString {
public:
    CString() = default;
    CString(const char* s) : m_s(s ? s : "") {}
    CString(std::string s) : m_s(std::move(s)) {}

    operator const char*() const { return m_s.c_str(); }
    const std::string& str() const { return m_s; }
    int GetLength() const { return static_cast<int>(m_s.size()); }
    bool IsEmpty() const { return m_s.empty(); }

    void Format(const char* fmt, ...);
    // Loads a string-table text of the program module; false (and empty) when there is none.
    BOOL LoadString(UINT id);

private:
    std::string m_s;
};

class CStringArray {
public:
    void SetSize(int n) { m_a.resize(n > 0 ? n : 0); }
    CString& operator[](int i) { return m_a[i]; }

private:
    std::vector<CString> m_a;
};

// Copies src into dst[size], cut at a character boundary when it does not fit.
void CopyCut(char* dst, size_t size, const char* src);
template <size_t N> void CopyCut(char (&dst)[N], const char* src) {
    CopyCut(dst, N, src);
}

// Text read as UTF-16 is kept as UTF-8 inside the program, so that names and data the code
// page cannot show stay apart and compare whole; it becomes code-page text only for display.
std::string WideToUtf8(const wchar_t* text, size_t length);
std::wstring Utf8ToWide(const std::string& text);
// For display and the log: code-page text, with the system's replacement character for what
// the code page lacks.
std::string Utf8ToAnsi(const std::string& text);
// Bytes that are not text (binary and number values): each byte as the code page reads it,
// so that Utf8ToAnsi gives the same bytes back.
std::string AnsiToUtf8(const char* bytes, size_t length);
