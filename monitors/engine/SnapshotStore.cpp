#include "SnapshotStore.h"
#include "../../framework/AfxFileFind.h"
#include "../../framework/AfxHandle.h"
#include <cstdio>
#include <vector>

namespace {
// First line of the file; another version is not read.
const char kHeader[] = "Kestrow saved snapshots 1";

// Texts are UTF-8 of any content: the separators and line ends inside them are escaped.
void AppendEscaped(std::string& out, const std::string& text) {
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\0':
            out += "\\0";
            break;
        default:
            out += c;
        }
    }
}

bool Unescape(const std::string& text, size_t begin, size_t end, std::string& out) {
    out.clear();
    for (size_t i = begin; i < end; ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == end)
            return false;
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case '0':
            out += '\0';
            break;
        default:
            return false;
        }
    }
    return true;
}

// One place as the file holds it.
void AppendPlace(std::string& out, const std::string& id, const CMapStringToString& items) {
    out += '[';
    AppendEscaped(out, id);
    out += "]\n";
    for (const auto& item : items) {
        AppendEscaped(out, item.first);
        out += '\t';
        AppendEscaped(out, item.second);
        out += '\n';
    }
}
} // namespace

std::string CSnapshotStore::Format(const std::map<std::string, CMapStringToString>& places) {
    std::string out = kHeader;
    out += '\n';
    for (const auto& place : places)
        AppendPlace(out, place.first, place.second);
    out += "[end]\n"; // a file cut short lacks it
    return out;
}

bool CSnapshotStore::Parse(const std::string& text, std::map<std::string, CMapStringToString>& places) {
    places.clear();
    size_t pos = text.find('\n');
    if (pos == std::string::npos || text.compare(0, pos, kHeader) != 0)
        return false;
    CMapStringToString* place = nullptr;
    std::string name, value;
    for (++pos; pos < text.size();) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            return false;
        if (text.compare(pos, end - pos, "[end]") == 0)
            return end + 1 == text.size();
        if (text[pos] == '[' && end > pos + 1 && text[end - 1] == ']') {
            if (!Unescape(text, pos + 1, end - 1, name) || places.count(name))
                return false;
            place = &places[name];
        } else {
            size_t tab = text.find('\t', pos);
            if (!place || tab == std::string::npos || tab > end || !Unescape(text, pos, tab, name) ||
                !Unescape(text, tab + 1, end, value))
                return false;
            place->SetAt(name, value);
        }
        pos = end + 1;
    }
    return false;
}

CSnapshotStore::LoadResult CSnapshotStore::Load(const std::string& path) {
    m_path = path;
    std::string text;
    bool missing = false;
    std::map<std::string, CMapStringToString> places;
    if (!ReadWholeFile(path, text, missing)) {
        if (missing)
            return NoFile;
    } else if (Parse(text, places)) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_saved = std::move(places);
        return Loaded;
    }
    ::MoveFileExA(path.c_str(), (path + ".bad").c_str(), MOVEFILE_REPLACE_EXISTING);
    return Unreadable;
}

bool CSnapshotStore::TakeSaved(const std::string& id, CMapStringToString& items) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_saved.find(id);
    if (it == m_saved.end())
        return false;
    if (m_reportOffline)
        items = std::move(it->second);
    m_saved.erase(it);
    return m_reportOffline;
}

void CSnapshotStore::Update(const std::string& id, const CMapStringToString& items) {
    // Kept as the file's text: a third of what a copy of the items takes, and a save copies none.
    std::string text;
    AppendPlace(text, id, items);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_current[id] = std::move(text);
    ++m_changes;
}

bool CSnapshotStore::Save() {
    DWORD start = ::GetTickCount();
    std::string text;
    unsigned changes;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_path.empty() || m_changes == m_savedChanges)
            return true;
        // Places not read in this run (gone, or their monitor not started) keep what was saved.
        text = std::string(kHeader) + '\n';
        for (const auto& place : m_saved)
            if (!m_current.count(place.first))
                AppendPlace(text, place.first, place.second);
        for (const auto& place : m_current)
            text += place.second;
        text += "[end]\n";
        changes = m_changes;
    }
    std::string temp = m_path + ".new";
    {
        CHandle file(::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        if (!file ||
            !::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size() || !::FlushFileBuffers(file.Get()))
            return false;
    }
    if (!::MoveFileExA(temp.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_savedChanges = changes;
    }
    // Read by the scale figures.
    char note[96];
    std::snprintf(note, sizeof note, "Kestrow: snapshots saved, %u bytes in %lu ms\n",
                  static_cast<unsigned>(text.size()), static_cast<unsigned long>(::GetTickCount() - start));
    ::OutputDebugStringA(note);
    return true;
}
