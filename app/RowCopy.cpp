#include "RowCopy.h"
#include "EventLogFile.h"
#include <cstring>

std::string RowsAsLogLines(const CEventList& list, const std::vector<int>& rows) {
    std::string lines;
    for (int row : rows) {
        EventRecord rec;
        char* fields[] = {rec.date, rec.category, rec.event, rec.location, rec.details};
        const size_t sizes[] = {sizeof rec.date, sizeof rec.category, sizeof rec.event, sizeof rec.location,
                                sizeof rec.details};
        for (int column = 0; column < 5; ++column)
            CopyCut(fields[column], sizes[column], list.GetItemText(row, column));
        lines += FormatCsvLine(rec);
    }
    return lines;
}

namespace {
// Global memory holding `bytes` bytes of `data`, for the clipboard to own.
HGLOBAL GlobalCopy(const void* data, size_t bytes) {
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (void* p = memory ? ::GlobalLock(memory) : nullptr) {
        std::memcpy(p, data, bytes);
        ::GlobalUnlock(memory);
        return memory;
    }
    if (memory)
        ::GlobalFree(memory);
    return nullptr;
}

bool SetClipboardCopy(UINT format, const void* data, size_t bytes) {
    HGLOBAL memory = GlobalCopy(data, bytes);
    if (memory && ::SetClipboardData(format, memory))
        return true; // the clipboard owns it now
    if (memory)
        ::GlobalFree(memory);
    return false;
}
} // namespace

bool PutTextOnClipboard(HWND owner, const std::string& text) {
    // Another program may hold the clipboard for a moment.
    bool open = false;
    for (int tries = 0; tries < 10 && !(open = ::OpenClipboard(owner)); ++tries)
        ::Sleep(20);
    if (!open)
        return false;
    ::EmptyClipboard();
    int units = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(units > 0 ? units : 1, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], units);
    bool ok = SetClipboardCopy(CF_TEXT, text.c_str(), text.size() + 1) &&
              SetClipboardCopy(CF_UNICODETEXT, wide.c_str(), wide.size() * sizeof(wchar_t));
    ::CloseClipboard();
    return ok;
}

bool CopySelectedRows(HWND owner, const CEventList& list) {
    std::vector<int> rows = list.SelectedRows();
    return !rows.empty() && PutTextOnClipboard(owner, RowsAsLogLines(list, rows));
}
