// Copying rows of the event list: each row as the line the log holds for it.
#pragma once
#include "../ui/EventList.h"
#include <string>
#include <vector>

// The rows' lines, in the given order, each exactly as FormatCsvLine writes it (CR LF ends).
std::string RowsAsLogLines(const CEventList& list, const std::vector<int>& rows);
// The text as CF_TEXT and as CF_UNICODETEXT; false when another program kept the clipboard.
bool PutTextOnClipboard(HWND owner, const std::string& text);
// The selected rows' lines onto the clipboard; nothing selected copies nothing.
bool CopySelectedRows(HWND owner, const CEventList& list);
