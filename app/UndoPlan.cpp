// What undoing a row would write, and the question or the reason the user is given.
#include "../framework/AfxHandle.h"
#include "../framework/AfxString.h"
#include "UndoSteps.h"
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {
std::vector<BYTE> Bytes(const std::wstring& text) {
    auto* p = reinterpret_cast<const BYTE*>(text.data());
    return std::vector<BYTE>(p, p + text.size() * sizeof(wchar_t));
}

// A decimal number (negative only where `sign`) as the 4 or 8 bytes of `type`, when it fits them.
bool FromNumber(const std::string& text, DWORD type, bool sign, std::vector<BYTE>& data) {
    bool negative = sign && text[0] == '-';
    const char* digits = text.c_str() + negative;
    size_t n = std::strlen(digits);
    if (n == 0 || n > 20 || std::strspn(digits, "0123456789") != n)
        return false;
    errno = 0;
    unsigned long long magnitude = std::strtoull(digits, nullptr, 10);
    unsigned long long limit = type == REG_QWORD ? ~0ULL : sign ? 0x80000000ULL : 0xFFFFFFFFULL;
    if (errno == ERANGE || magnitude > limit)
        return false;
    unsigned long long number = negative ? 0 - magnitude : magnitude;
    auto* p = reinterpret_cast<const BYTE*>(&number);
    data.assign(p, p + (type == REG_QWORD ? 8 : 4));
    return true;
}

bool FromHex(const std::string& text, std::vector<BYTE>& data) {
    if (text.size() % 2 || std::strspn(text.c_str(), "0123456789abcdefABCDEF") != text.size())
        return false;
    data.clear();
    for (size_t i = 0; i < text.size(); i += 2)
        data.push_back(static_cast<BYTE>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    return true;
}

// The shown text as the data of a value of `out.type` (its own when it exists); false when the
// place's way of showing it loses what it would take to write it back exactly.
bool Encode(ShownData shown, const std::string& text, RegistryValueState& out) {
    std::wstring wide = Utf8ToWide(AnsiToUtf8(text.data(), text.size()));
    bool isText = out.type == REG_SZ || out.type == REG_EXPAND_SZ;
    if (shown == ShownData::Approval) {
        // The shell's switch: its first byte even for on, odd for off.
        if (text != "enabled" && text != "disabled")
            return false;
        if (out.data.empty())
            out.data.assign(12, 0), out.data[0] = 2;
        return out.data[0] = (out.data[0] & ~1) | (text == "disabled"), true;
    }
    if (isText)
        return out.data = Bytes(wide + L'\0'), true;
    if (shown == ShownData::Bytes)
        return false; // only the text up to the first zero byte is known
    if (out.type == REG_DWORD || (out.type == REG_QWORD && shown == ShownData::Typed))
        return FromNumber(text, out.type, shown == ShownData::Winlogon, out.data);
    if (shown == ShownData::Winlogon)
        return false;
    if (out.type == REG_MULTI_SZ) {
        std::wstring list = wide; // the strings were joined with ","
        for (wchar_t& c : list)
            c = c == L',' ? L'\0' : c;
        return out.data = Bytes(list + std::wstring(list.empty() ? 1 : 2, L'\0')), true;
    }
    return FromHex(text, out.data);
}

std::string NameData(const EventPlace& place, const std::string& data) {
    return place.shownName + "=" + data;
}

// Texts cut to the field's width may have lost their end.
bool MayBeCut(const std::string& details) {
    return details.size() >= kDetailsChars - 4;
}

// Why the value is no longer what the row says, or "".
std::string Stale(const EventPlace& place, int kind, const std::string& key) {
    const std::string& name = place.shownName;
    if (kind == EVENT_DELETED && place.now.exists)
        return "The value " + name + " is in " + key + " again" +
               (place.nowText.empty() ? "" : ", holding " + place.nowText) + ".";
    if (kind != EVENT_DELETED && !place.now.exists)
        return "The value " + name + " is no longer in " + key + ": it was removed after this row.";
    if (kind != EVENT_DELETED && !place.holdsRowData)
        return "The value " + name + " in " + key + " has changed again since this row: it holds " +
               place.nowText + " now, not " + place.data + ".";
    return "";
}

std::string PlanValue(UndoPlan& plan, const std::string& undoFolder) {
    const EventPlace& place = plan.place;
    const std::string key = Utf8ToAnsi(place.keyText);
    if (std::string stale = Stale(place, plan.row.kind, key); !stale.empty())
        return stale + " Nothing was changed.";
    const std::string& text = plan.row.kind == EVENT_CHANGED ? place.previous : place.data;
    if (plan.row.kind != EVENT_NEW &&
        MayBeCut(plan.row.kind == EVENT_CHANGED ? plan.row.previous : plan.row.details))
        return "The data of " + place.shownName +
               " is longer than Kestrow keeps of it, so it cannot be written "
               "back exactly. Nothing was changed.";
    plan.write = place.now;
    if (!place.now.exists)
        plan.write.type = place.shown == ShownData::Approval ? REG_BINARY : REG_SZ;
    bool number =
        place.shown == ShownData::Winlogon && std::strspn(text.c_str(), "-0123456789") == text.size();
    if (plan.row.kind != EVENT_NEW &&
        (!Encode(place.shown, text, plan.write) || (!place.now.exists && number)))
        return "Kestrow cannot write " + NameData(place, text) +
               " back exactly: it does not know all of the value's " + (place.now.exists ? "data" : "type") +
               ". Nothing was changed.";
    plan.write.exists = plan.row.kind != EVENT_NEW;
    plan.possible = true;
    std::string question =
        plan.row.kind == EVENT_NEW ? "Remove the value " + NameData(place, place.data) + " from " + key + "?"
        : plan.row.kind == EVENT_CHANGED
            ? "Write back " + NameData(place, text) + " in " + key + ", in place of " + place.data + "?"
            : "Make the value " + NameData(place, text) + " again in " + key +
                  (plan.write.type == REG_SZ ? ", as text (REG_SZ)?" : ", as binary data (REG_BINARY)?");
    return question + "\n\nIts present state is saved first as a .reg file in " + undoFolder +
           "; reg import puts it back.";
}
} // namespace

namespace {
// The newest file that Undo moved away for a row like this one (its name without the time),
// with its folder; empty when there is none.
std::string NewestKept(const std::string& undoFolder, const UndoPlan& plan) {
    const std::string tail = KeptName(SYSTEMTIME{}, plan).substr(kStampChars);
    std::string newest;
    WIN32_FIND_DATAA found;
    CFindHandle find(::FindFirstFileA((undoFolder + "*").c_str(), &found));
    for (bool more = static_cast<bool>(find); more; more = ::FindNextFileA(find.Get(), &found)) {
        std::string name = found.cFileName;
        if (name.size() >= kStampChars + tail.size() &&
            name.compare(name.size() - tail.size(), tail.size(), tail) == 0 &&
            name.size() <= kStampChars + 3 + tail.size() && name > newest)
            newest = name;
    }
    return newest.empty() ? newest : undoFolder + newest;
}

std::string PlanFile(UndoPlan& plan, const std::string& undoFolder) {
    const EventPlace& place = plan.place;
    const std::string file = "the " + place.fileKind + " " + place.file;
    bool there = ::GetFileAttributesA((place.folder + "\\" + place.file).c_str()) != INVALID_FILE_ATTRIBUTES;
    if (plan.row.kind == EVENT_NEW && !there)
        return "The file " + place.file + " is no longer in " + place.folder + ". Nothing was changed.";
    if (plan.row.kind == EVENT_NEW)
        return plan.possible = true, "Move " + file + " out of " + place.folder + " into " + undoFolder +
                                         "?\n\nMoving it back, or undoing the Deleted row that follows, "
                                         "puts it back.";
    if (plan.row.kind != EVENT_DELETED)
        return "Kestrow cannot undo this change of " + file + ".";
    if (there)
        return "The file " + place.file + " is in " + place.folder + " again. Nothing was changed.";
    plan.keptFile = NewestKept(undoFolder, plan);
    if (plan.keptFile.empty())
        return "Kestrow cannot make " + file +
               " again: it puts back only a file that its "
               "Undo moved away, and " +
               undoFolder + " holds none of that name.";
    plan.possible = true;
    return "Put " + file + " back into " + place.folder + " from " + plan.keptFile + "?";
}
} // namespace

UndoPlan PlanUndo(const EventTexts& row, const KnownPlaces& places, const std::string& undoFolder) {
    UndoPlan plan;
    plan.row = row;
    plan.place = PlaceOfEvent(row, places);
    plan.text = plan.place.kind == EventPlace::kValue  ? PlanValue(plan, undoFolder)
                : plan.place.kind == EventPlace::kFile ? PlanFile(plan, undoFolder)
                : plan.place.kind == EventPlace::kTask ? PlanTask(plan, undoFolder)
                                                       : plan.place.why;
    return plan;
}
