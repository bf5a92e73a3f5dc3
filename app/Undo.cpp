// Undoing a row's change: its present state kept first, then written.
#include "UndoSteps.h"
#include "../framework/AfxString.h"
#include "AppMessageBox.h"
#include "RegFile.h"
#include <cstdio>
#include <cstring>

namespace {
// The last part of a path, or the whole text.
std::string LastPart(const std::string& path) {
    return path.substr(path.rfind('\\') + 1);
}

std::string KeptTail(const UndoPlan& plan) {
    const EventTexts& row = plan.row;
    if (plan.place.kind == EventPlace::kFile)
        return " " + LastPart(row.location) + " " + row.details;
    if (plan.place.kind != EventPlace::kTask)
        return ".reg";
    const std::string& name = plan.place.task;
    return plan.place.route == TaskRoute::Task  ? " " + LastPart(name) + ".xml"
           : plan.place.route == TaskRoute::Job ? " job " + name + ".txt"
                                                : " " + WorkItemFile(name);
}
} // namespace

std::string KeptName(const SYSTEMTIME& now, const UndoPlan& plan) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d-%02d-%02d", now.wYear % 10000, now.wMonth % 100,
                  now.wDay % 100, now.wHour % 100, now.wMinute % 100, now.wSecond % 100);
    return std::string(stamp) + " " + plan.row.category + KeptTail(plan);
}

std::string ErrorText(DWORD error) {
    char text[512] = "";
    ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                     sizeof text, nullptr);
    std::string said = text;
    while (!said.empty() && std::strchr(" .\r\n", said.back()))
        said.pop_back();
    return "error " + std::to_string(error) + (said.empty() ? "" : ": " + said);
}

std::string Failed(const std::string& what, DWORD error) {
    if (error == ERROR_ACCESS_DENIED)
        return "Kestrow may not " + what +
               ": Windows denied it access. Changing the machine's settings, and "
               "All Users' Startup folder, needs administrator rights. Nothing was changed.\n\nTo undo it, "
               "exit "
               "Kestrow, start it again as administrator (right-click Kestrow.exe or its Start Menu "
               "shortcut, "
               "Run as administrator) and undo the row again.";
    return "Kestrow could not " + what + " (" + ErrorText(error) + "). Nothing was changed.";
}

DWORD Keep(const std::string& undoFolder, const std::string& name,
           const std::function<DWORD(const std::string&)>& make, std::string& kept) {
    if (!::CreateDirectoryA(undoFolder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return ::GetLastError();
    DWORD error = ERROR_FILE_EXISTS;
    for (int n = 1; n < 10 && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS); ++n) {
        kept = undoFolder +
               (n == 1 ? name
                       : name.substr(0, kStampChars) + "-" + std::to_string(n) + name.substr(kStampChars));
        error = make(kept);
    }
    return error;
}

namespace {
DWORD WriteValue(const EventPlace& place, const RegistryValueState& write) {
    CRegistryKey key;
    REGSAM access = KEY_SET_VALUE | place.view;
    LONG r =
        write.exists ? key.Create(place.hive, place.path, access) : key.Open(place.hive, place.path, access);
    if (r == ERROR_SUCCESS)
        r = write.exists ? key.WriteValue(place.name, write.type, write.data.data(),
                                          static_cast<DWORD>(write.data.size()))
                         : key.DeleteValue(place.name);
    return static_cast<DWORD>(r);
}

std::string CarryOutValue(const UndoPlan& plan, const std::string& undoFolder, const SYSTEMTIME& now) {
    const EventPlace& place = plan.place;
    const std::string key = Utf8ToAnsi(place.keyText);
    if (ReadValueState(place.hive, place.view, place.path, place.name) != place.now)
        return "The value " + place.shownName + " in " + key +
               " changed while you were asked. Nothing was changed.";
    std::string kept;
    const std::wstring regFile = RegFileText(place.keyText, place.name, place.now);
    DWORD error = Keep(
        undoFolder, KeptName(now, plan),
        [&](const std::string& path) { return WriteNewUnicodeFile(path, regFile); }, kept);
    if (error)
        return "Kestrow could not save the value's present state in " + undoFolder + " (" + ErrorText(error) +
               "). Nothing was changed.";
    if ((error = WriteValue(place, plan.write)) != ERROR_SUCCESS) {
        ::DeleteFileA(kept.c_str()); // it would put back a state that never went
        return Failed("change " + key, error);
    }
    return "";
}

std::string CarryOutFile(const UndoPlan& plan, const std::string& undoFolder, const SYSTEMTIME& now) {
    const EventPlace& place = plan.place;
    const std::string path = place.folder + "\\" + place.file;
    auto move = [](const std::string& from, const std::string& to) {
        return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED) ? DWORD(ERROR_SUCCESS)
                                                                              : ::GetLastError();
    };
    if (plan.row.kind == EVENT_DELETED) {
        DWORD error = move(plan.keptFile, path);
        return error ? Failed("put " + place.file + " back into " + place.folder, error) : "";
    }
    std::string kept;
    DWORD error = Keep(
        undoFolder, KeptName(now, plan), [&](const std::string& to) { return move(path, to); }, kept);
    return error ? Failed("move " + place.file + " out of " + place.folder, error) : "";
}
} // namespace

std::string CarryOut(const UndoPlan& plan, const std::string& undoFolder, const SYSTEMTIME& now) {
    if (!plan.possible)
        return plan.text;
    return plan.place.kind == EventPlace::kFile   ? CarryOutFile(plan, undoFolder, now)
           : plan.place.kind == EventPlace::kTask ? CarryOutTask(plan, undoFolder, now)
                                                  : CarryOutValue(plan, undoFolder, now);
}

EventTexts RowTexts(const CEventList& list, int row) {
    EventTexts texts;
    std::string event = list.GetItemText(row, 2).str();
    texts.kind = event == "Deleted" ? EVENT_DELETED : event == "Changed" ? EVENT_CHANGED : EVENT_NEW;
    texts.category = list.GetItemText(row, 1).str();
    texts.location = list.GetItemText(row, 3).str();
    texts.details = list.GetItemText(row, 4).str();
    texts.previous = list.GetItemText(row, 5).str();
    return texts;
}

bool UndoSelectedRow(const CEventList& list, const std::string& undoFolder) {
    std::vector<int> rows = list.SelectedRows();
    if (rows.size() != 1) {
        if (rows.size() > 1)
            AppMessageBox("Undo takes one change at a time: select the one row whose change is to be undone.",
                          MB_OK | MB_ICONINFORMATION);
        return false;
    }
    UndoPlan plan = PlanUndo(RowTexts(list, rows[0]), WatchedPlaces(), undoFolder);
    if (!plan.possible)
        return AppMessageBox(plan.text.c_str(), MB_OK | MB_ICONINFORMATION), false;
    if (AppMessageBox(plan.text.c_str(), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return false;
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    std::string failure = CarryOut(plan, undoFolder, now);
    if (!failure.empty())
        AppMessageBox(failure.c_str(), MB_OK | MB_ICONWARNING);
    return failure.empty();
}
