// The Task Scheduler 2.0 route: every folder from the root down, hidden tasks included.
#include "TaskRoutes.h"
#include <cwctype>
#include <set>
// The library MinGW links by default lacks the Task Scheduler 2.0 identifiers: defined here.
#include <initguid.h>

#include <taskschd.h>

namespace {
// The kinds as the Task Scheduler names them; any other is "Custom".
const std::pair<int, const char*> kTriggerKinds[] = {
    {TASK_TRIGGER_EVENT, "On an event"},
    {TASK_TRIGGER_TIME, "One time"},
    {TASK_TRIGGER_DAILY, "Daily"},
    {TASK_TRIGGER_WEEKLY, "Weekly"},
    {TASK_TRIGGER_MONTHLY, "Monthly"},
    {TASK_TRIGGER_MONTHLYDOW, "Monthly"},
    {TASK_TRIGGER_IDLE, "On idle"},
    {TASK_TRIGGER_REGISTRATION, "At task creation"},
    {TASK_TRIGGER_BOOT, "At startup"},
    {TASK_TRIGGER_LOGON, "At log on"},
    {TASK_TRIGGER_SESSION_STATE_CHANGE, "On session change"},
};

const char* TriggerKindText(int type) {
    for (const auto& kind : kTriggerKinds)
        if (kind.first == type)
            return kind.second;
    return "Custom";
}

std::string Utf8(const std::wstring& text) {
    return WideToUtf8(text.c_str(), text.size());
}

std::wstring Text(const CBstr& text) {
    return text.Get() ? std::wstring(text.Get()) : std::wstring();
}

VARIANT Index(LONG i) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = i;
    return v;
}

// An exec action as a command line; the other kinds by what they are.
TaskAction ReadAction(IAction* action) {
    TASK_ACTION_TYPE type = TASK_ACTION_EXEC;
    action->get_Type(&type);
    TaskAction read;
    CBstr first, second;
    if (type == TASK_ACTION_EXEC) {
        CComPtr<IExecAction> exec;
        if (SUCCEEDED(action->QueryInterface(IID_IExecAction, exec.OutVoid())) && exec) {
            exec->get_Path(first.Out());
            exec->get_Arguments(second.Out());
        }
        read.command = Text(first);
    } else {
        // MinGW declares no IComHandlerAction: a handler is shown by its kind alone.
        read.command = type == TASK_ACTION_COM_HANDLER  ? L"COM handler"
                       : type == TASK_ACTION_SEND_EMAIL ? L"Send an e-mail"
                                                        : L"Display a message";
    }
    read.arguments = Text(second);
    return read;
}
} // namespace

std::string TaskDetailsText(const TaskRecord& task) {
    std::string text;
    for (const auto& trigger : task.triggers) {
        if (&trigger != &task.triggers.front())
            text += ", ";
        text += TriggerKindText(trigger.type);
        if (!trigger.start.empty())
            text += " from " + Utf8(trigger.start);
    }
    text += ";";
    for (const auto& action : task.actions) {
        if (&action != &task.actions.front())
            text += ", ";
        text += Utf8(action.command);
        if (!action.arguments.empty())
            text += " " + Utf8(action.arguments);
    }
    return text;
}

HRESULT ReadTaskRecord(IRegisteredTask* task, TaskRecord& record) {
    CBstr path;
    HRESULT hr = task->get_Path(path.Out());
    if (FAILED(hr))
        return hr;
    record.path = Text(path);
    // A definition that cannot be read leaves the texts empty, as an unreadable work item's.
    CComPtr<ITaskDefinition> definition;
    if (FAILED(task->get_Definition(definition.Out())) || !definition)
        return S_OK;
    CComPtr<ITriggerCollection> triggers;
    LONG count = 0;
    if (SUCCEEDED(definition->get_Triggers(triggers.Out())) && triggers &&
        SUCCEEDED(triggers->get_Count(&count)))
        for (LONG i = 1; i <= count; ++i) { // collections count from 1
            CComPtr<ITrigger> trigger;
            if (FAILED(triggers->get_Item(i, trigger.Out())) || !trigger)
                continue;
            TASK_TRIGGER_TYPE2 type = TASK_TRIGGER_TIME;
            CBstr start;
            trigger->get_Type(&type);
            trigger->get_StartBoundary(start.Out());
            record.triggers.push_back({type, Text(start)});
        }
    CComPtr<IActionCollection> actions;
    count = 0;
    if (SUCCEEDED(definition->get_Actions(actions.Out())) && actions && SUCCEEDED(actions->get_Count(&count)))
        for (LONG i = 1; i <= count; ++i) {
            CComPtr<IAction> action;
            if (SUCCEEDED(actions->get_Item(i, action.Out())) && action)
                record.actions.push_back(ReadAction(action.Get()));
        }
    return S_OK;
}

namespace {
// A service that restarted is connected afresh; other failures (Wine's enumeration is not
// implemented) keep the connection rather than make it again every poll.
bool ServiceLost(HRESULT hr) {
    return hr == RPC_E_DISCONNECTED || HRESULT_FACILITY(hr) == FACILITY_RPC ||
           hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) || hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED);
}

class CTaskFolderRoute : public CTaskRoute {
public:
    CTaskFolderRoute(CTaskSources& sources, const CPlaceSnapshot& workItems)
        : CTaskRoute("tasks", sources), m_workItems(workItems) {}
    bool Read(ItemReading& reading) override;

private:
    // Paths and texts are UTF-8.
    std::string ShownLocation(const std::string& name) const override { return Utf8ToAnsi(name); }
    std::string ShownText(const std::string& text) const override { return Utf8ToAnsi(text); }
    // A task of the root folder is the work item of its name with ".job": the work items
    // report it.
    bool IsWorkItem(const std::wstring& folder, const std::wstring& task) const {
        return folder == L"\\" && task.size() > 1 &&
               m_workItems.Has(WorkItemName((task.substr(1) + L".job").c_str()));
    }
    const CPlaceSnapshot& m_workItems;
};

bool CTaskFolderRoute::Read(ItemReading& reading) {
    std::vector<std::wstring> pending{L"\\"};
    std::set<std::wstring> seen{L"\\"};
    while (!pending.empty()) {
        std::wstring path = pending.back();
        pending.pop_back();
        std::vector<std::wstring> subfolders;
        std::vector<TaskRecord> tasks;
        HRESULT hr = m_sources.ListTaskFolder(path, TASK_ENUM_HIDDEN, subfolders, tasks);
        // Some system folders are closed to a standard user, poll after poll: left out.
        if (hr == E_ACCESSDENIED)
            continue;
        if (FAILED(hr))
            return false;
        for (const auto& task : tasks) {
            if (IsWorkItem(path, task.path))
                m_snapshot.Forget(Utf8(task.path));
            else
                reading.emplace_back(Utf8(task.path), TaskDetailsText(task));
        }
        // Folder names are case-insensitive; one listed twice is read once.
        for (auto& sub : subfolders) {
            std::wstring key = sub;
            for (auto& c : key)
                c = std::towlower(c);
            if (seen.insert(key).second)
                pending.push_back(sub);
        }
    }
    return true;
}
} // namespace

CTaskSources::CTaskSources() = default;
CTaskSources::~CTaskSources() = default;

HRESULT CTaskSources::ListTaskFolder(const std::wstring& folder, LONG taskFlags,
                                     std::vector<std::wstring>& subfolders, std::vector<TaskRecord>& tasks) {
    HRESULT hr = Connect();
    if (SUCCEEDED(hr))
        hr = ListConnectedFolder(folder, taskFlags, subfolders, tasks);
    if (ServiceLost(hr))
        m_taskService.Release();
    return hr;
}

HRESULT CTaskSources::ListConnectedFolder(const std::wstring& path, LONG taskFlags,
                                          std::vector<std::wstring>& subfolders,
                                          std::vector<TaskRecord>& tasks) {
    CBstr name(path.c_str());
    CComPtr<ITaskFolder> folder;
    CComPtr<ITaskFolderCollection> folders;
    CComPtr<IRegisteredTaskCollection> registered;
    LONG folderCount = 0, taskCount = 0;
    HRESULT hr;
    if (FAILED(hr = m_taskService->GetFolder(name.Get(), folder.Out())) ||
        FAILED(hr = folder->GetFolders(0, folders.Out())) || FAILED(hr = folders->get_Count(&folderCount)) ||
        FAILED(hr = folder->GetTasks(taskFlags, registered.Out())) ||
        FAILED(hr = registered->get_Count(&taskCount)))
        return hr;
    for (LONG i = 1; i <= folderCount; ++i) {
        CComPtr<ITaskFolder> sub;
        CBstr subPath;
        if (FAILED(hr = folders->get_Item(Index(i), sub.Out())) || FAILED(hr = sub->get_Path(subPath.Out())))
            return hr;
        subfolders.push_back(Text(subPath));
    }
    for (LONG i = 1; i <= taskCount; ++i) {
        CComPtr<IRegisteredTask> task;
        TaskRecord record;
        if (FAILED(hr = registered->get_Item(Index(i), task.Out())) ||
            FAILED(hr = ReadTaskRecord(task.Get(), record)))
            return hr;
        tasks.push_back(std::move(record));
    }
    return S_OK;
}

std::unique_ptr<CTaskRoute> MakeTaskFolderRoute(CTaskSources& sources, const CPlaceSnapshot& workItems) {
    return std::make_unique<CTaskFolderRoute>(sources, workItems);
}
