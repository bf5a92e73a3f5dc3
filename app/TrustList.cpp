#include "TrustList.h"
#include "../framework/AfxRegistry.h"
#include "AppMessageBox.h"
#include <algorithm>
#include <cstdio>

const char* const kTrustedKeyPath = "Software\\Kestrow\\Trusted";

namespace {
std::string TrustedChange::*const kFields[] = {&TrustedChange::category, &TrustedChange::event,
                                               &TrustedChange::location, &TrustedChange::details};

// The value's name: a hash of its text, so that the same change is one value however often it
// is trusted; a different change with the same hash takes the next free suffix.
std::string ValueName(const std::string& encoded, int suffix) {
    unsigned long long hash = 14695981039346656037ull;
    for (unsigned char c : encoded)
        hash = (hash ^ c) * 1099511628211ull;
    char name[40];
    std::snprintf(name, sizeof name, suffix ? "%016llx-%d" : "%016llx", hash, suffix);
    return name;
}
} // namespace

std::string EncodeTrusted(const TrustedChange& change) {
    std::string text;
    for (auto field : kFields) {
        if (!text.empty())
            text += ' ';
        text += std::to_string((change.*field).size()) + ':' + change.*field;
    }
    return text;
}

bool DecodeTrusted(const std::string& text, TrustedChange& change) {
    size_t at = 0;
    for (auto field : kFields) {
        if (field != kFields[0] && (at >= text.size() || text[at++] != ' '))
            return false;
        size_t digits = at, length = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && at - digits < 6; ++at)
            length = length * 10 + (text[at] - '0');
        if (at == digits || at >= text.size() || text[at++] != ':' || text.size() - at < length)
            return false;
        change.*field = text.substr(at, length);
        at += length;
    }
    return at == text.size();
}

TrustedChange RowChange(const CEventList& list, int row) {
    TrustedChange change;
    int column = 1;
    for (auto field : kFields)
        change.*field = list.GetItemText(row, column++).str();
    return change;
}

void CTrustList::Load() {
    m_changes.clear();
    m_names.clear();
    CRegistryKey key;
    if (key.Open(m_hive, m_path, KEY_READ) != ERROR_SUCCESS)
        return;
    ForEachValue(key.Get(), [this](const std::string& name, DWORD type, const BYTE* data, DWORD size) {
        TrustedChange change;
        if (type != REG_SZ || !DecodeTrusted(Utf8ToAnsi(ValueText(type, data, size)), change))
            return;
        // One written by hand may repeat another: listed once, removed with all of them.
        auto known = std::find(m_changes.begin(), m_changes.end(), change);
        if (known != m_changes.end())
            return m_names[known - m_changes.begin()].push_back(name);
        m_changes.push_back(change);
        m_names.push_back({name});
    });
}

bool CTrustList::Matches(const EventRecord& rec) const {
    // Asked of every event: a burst costs nothing while nothing is trusted.
    return !m_changes.empty() && Matches(TrustedChange{rec.category, rec.event, rec.location, rec.details});
}

bool CTrustList::Matches(const TrustedChange& change) const {
    for (const TrustedChange& trusted : m_changes)
        if (trusted == change)
            return true;
    return false;
}

LONG CTrustList::Add(const TrustedChange& change) {
    if (Matches(change))
        return ERROR_SUCCESS;
    CRegistryKey key;
    LONG error = key.Create(m_hive, m_path);
    if (error != ERROR_SUCCESS)
        return error;
    std::string encoded = EncodeTrusted(change), text = AnsiToUtf8(encoded.data(), encoded.size());
    for (int suffix = 0; suffix < 100; ++suffix) {
        std::string name = ValueName(encoded, suffix), held = key.ReadText(name);
        if (!held.empty() && held != text)
            continue;
        error = key.WriteText(name, text);
        if (error == ERROR_SUCCESS)
            m_changes.push_back(change), m_names.push_back({name});
        return error;
    }
    return ERROR_ALREADY_EXISTS;
}

LONG CTrustList::Remove(const TrustedChange& change) {
    auto known = std::find(m_changes.begin(), m_changes.end(), change);
    if (known == m_changes.end())
        return ERROR_SUCCESS;
    CRegistryKey key;
    LONG error = key.Open(m_hive, m_path, KEY_SET_VALUE);
    if (error == ERROR_FILE_NOT_FOUND)
        error = ERROR_SUCCESS; // the key went, and every value with it
    else if (error == ERROR_SUCCESS)
        for (const std::string& name : m_names[known - m_changes.begin()])
            if (LONG deleted = key.DeleteValue(name); deleted != ERROR_FILE_NOT_FOUND)
                error = error ? error : deleted;
    if (error != ERROR_SUCCESS)
        return error;
    m_names.erase(m_names.begin() + (known - m_changes.begin()));
    m_changes.erase(known);
    return ERROR_SUCCESS;
}

void CTrustList::MarkRows(CEventList& list) const {
    for (int row = 0, rows = list.GetItemCount(); row < rows; ++row)
        list.SetRowGrey(row, Matches(RowChange(list, row)));
}

bool TrustSelectedRows(CTrustList& trust, CEventList& list) {
    std::vector<int> rows = list.SelectedRows();
    if (rows.empty())
        return false;
    TrustedChange first = RowChange(list, rows[0]);
    std::string text = rows.size() == 1
                           ? "Trust this change?\n\n" + first.category + " " + first.event + "\n" +
                                 first.location + "\n" + first.details
                           : "Trust the changes of the " + std::to_string(rows.size()) + " selected rows?";
    text += "\n\nWhen it happens again it is listed and logged but starts no alert. Options lists the "
            "trusted changes and removes them.";
    if (AppMessageBox(text.c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    for (int row : rows)
        if (LONG error = trust.Add(RowChange(list, row))) {
            AppMessageBox(("Failed to trust the change (" + std::to_string(error) + ")").c_str(), MB_OK);
            break;
        }
    trust.MarkRows(list);
    return true;
}
