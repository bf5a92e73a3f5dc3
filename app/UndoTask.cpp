// Undoing a New scheduled task: it is removed through the route that reported it, once its
// present state is kept: a 2.0 task's XML, which `schtasks /create /xml` takes back, a work
// item's .job file, a job's texts. A task's earlier state is nowhere to be had, so its Changed
// and Deleted rows are not undone.
#include "../framework/AfxString.h"
#include "../monitors/places/TaskRoutes.h"
#include "RegFile.h"
#include "UndoSteps.h"
#include <lmerr.h>
#include <mstask.h>

namespace {
// A task as it is now: its details as its route shows them, and what keeps it.
struct PresentTask {
    HRESULT read = S_OK; // a failure: it is missing, or could not be read
    std::string details;
    std::wstring text;   // a 2.0 task's XML, a job's texts
    std::string jobFile; // a work item's file
};

std::wstring Wide(const std::string& text) {
    return Utf8ToWide(AnsiToUtf8(text.data(), text.size()));
}

DWORD Win32Of(HRESULT hr) {
    return HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : static_cast<DWORD>(hr);
}

bool Missing(HRESULT hr) {
    DWORD error = Win32Of(hr);
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_NOT_FOUND;
}

// "days;time;command" as a note to read.
std::wstring JobNote(const std::string& id, const std::string& details) {
    size_t days = details.find(';'), time = details.find(';', days + 1);
    return Wide("Scheduled job " + id + " as Kestrow read it before its Undo removed it. A job cannot be " +
                "imported: the at command makes a new one.\r\n\r\nDays: " + details.substr(0, days) +
                "\r\nTime: " + details.substr(days + 1, time - days - 1) +
                "\r\nCommand: " + details.substr(time + 1) + "\r\n");
}

PresentTask ReadPresent(const EventPlace& place, CTaskSources& sources) {
    PresentTask now;
    const std::wstring name = Wide(place.task);
    if (place.route == TaskRoute::Task) {
        TaskRecord record;
        if (SUCCEEDED(now.read = sources.ReadTask(name, record, now.text)))
            now.details = Utf8ToAnsi(TaskDetailsText(record));
    } else if (place.route == TaskRoute::WorkItem) {
        CComPtr<ITaskScheduler> scheduler;
        if (SUCCEEDED(now.read = sources.CreateScheduler(scheduler.Out())))
            now.read = ReadWorkItem(scheduler.Get(), name, now.details);
        char windows[MAX_PATH] = "";
        ::GetWindowsDirectoryA(windows, MAX_PATH);
        now.jobFile = std::string(windows) + "\\Tasks\\" + WorkItemFile(place.task);
    } else {
        // The route lists every job: the one of the row's id is looked for among them.
        ItemReading reading;
        now.read = MakeJobRoute(sources)->Read(reading) ? HRESULT_FROM_WIN32(ERROR_NOT_FOUND) : E_FAIL;
        for (const auto& [id, details] : reading)
            if (id == place.task)
                now.read = S_OK, now.details = details, now.text = JobNote(id, details);
    }
    return now;
}

std::string Noun(const EventPlace& place) {
    return (place.route == TaskRoute::Job ? "scheduled job " : "scheduled task ") + place.task;
}

// Why the task is not what the row says, or "".
std::string Stale(const EventPlace& place, const EventTexts& row, const PresentTask& now) {
    if (Missing(now.read))
        return "The " + Noun(place) + " is no longer there: it was removed after this row.";
    if (FAILED(now.read))
        return "Kestrow could not read the " + Noun(place) + " (" + ErrorText(Win32Of(now.read)) + ").";
    if (CutAsShown(now.details) != row.details)
        return "The " + Noun(place) + " has changed again since this row: it is " + now.details +
               " now, not " + row.details + ".";
    return "";
}

HRESULT Remove(const EventPlace& place, CTaskSources& sources) {
    if (place.route == TaskRoute::Task)
        return sources.DeleteTask(Wide(place.task));
    if (place.route == TaskRoute::Job) {
        NET_API_STATUS status = sources.DeleteJob(std::strtoul(place.task.c_str(), nullptr, 10));
        return status == NERR_Success ? S_OK : HRESULT_FROM_WIN32(status);
    }
    CComPtr<ITaskScheduler> scheduler;
    HRESULT hr = sources.CreateScheduler(scheduler.Out());
    return SUCCEEDED(hr) ? DeleteWorkItem(scheduler.Get(), Wide(place.task)) : hr;
}
} // namespace

std::string WorkItemFile(const std::string& name) {
    bool job = name.size() > 4 && _stricmp(name.c_str() + name.size() - 4, ".job") == 0;
    return job ? name : name + ".job";
}

std::string PlanTask(UndoPlan& plan, const std::string& undoFolder) {
    const EventPlace& place = plan.place;
    if (plan.row.kind != EVENT_NEW)
        return "Kestrow cannot put back a scheduled task's earlier state: the row shows only part of it. "
               "Nothing was changed." +
               std::string(plan.row.kind == EVENT_DELETED
                               ? "\n\nIf Kestrow's Undo removed the task, " + undoFolder + " holds its copy."
                               : "");
    CComApartment com;
    CTaskSources sources;
    if (std::string stale = Stale(place, plan.row, ReadPresent(place, sources)); !stale.empty())
        return stale + " Nothing was changed.";
    plan.possible = true;
    std::string question = "Remove the " + Noun(place) + " (" + plan.row.details + ")?\n\n";
    if (place.route == TaskRoute::Task)
        return question + "Its present state is saved first as an XML file in " + undoFolder +
               "; schtasks /create /tn \"" + place.task + "\" /xml with that file makes it again.";
    if (place.route == TaskRoute::WorkItem)
        return question + "Its .job file is copied first into " + undoFolder + ".";
    return question + "Its command and schedule are saved first as a text file in " + undoFolder +
           ", to read: a job cannot be imported.";
}

std::string CarryOutTask(const UndoPlan& plan, const std::string& undoFolder, const SYSTEMTIME& now) {
    const EventPlace& place = plan.place;
    CComApartment com;
    CTaskSources sources;
    PresentTask task = ReadPresent(place, sources);
    if (std::string stale = Stale(place, plan.row, task); !stale.empty())
        return stale + " Nothing was changed.";
    std::string kept;
    DWORD error = Keep(
        undoFolder, KeptName(now, plan),
        [&](const std::string& path) {
            if (place.route != TaskRoute::WorkItem)
                return WriteNewUnicodeFile(path, task.text);
            return ::CopyFileA(task.jobFile.c_str(), path.c_str(), TRUE) ? DWORD(ERROR_SUCCESS)
                                                                         : ::GetLastError();
        },
        kept);
    if (error)
        return "Kestrow could not save the task's present state in " + undoFolder + " (" + ErrorText(error) +
               "). Nothing was changed.";
    if (HRESULT hr = Remove(place, sources); FAILED(hr)) {
        ::DeleteFileA(kept.c_str()); // it would keep a task that never went
        return Failed("remove the " + Noun(place), Win32Of(hr));
    }
    return "";
}
