// One Task Scheduler 2.0 task by its path, read as its route reads it, and removed. Wine finds
// a folder and a task by path, though it lists none.
#include "TaskMonitor.h"
#include <taskschd.h>

HRESULT CTaskSources::Connect() {
    if (m_taskService)
        return S_OK;
    HRESULT hr = ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                    m_taskService.OutVoid());
    VARIANT none;
    ::VariantInit(&none);
    if (SUCCEEDED(hr) && m_taskService)
        hr = m_taskService->Connect(none, none, none, none);
    if (FAILED(hr) || !m_taskService) {
        m_taskService.Release(); // connected afresh next time
        return FAILED(hr) ? hr : E_FAIL;
    }
    return S_OK;
}

HRESULT CTaskSources::OpenFolderOf(const std::wstring& path, ITaskFolder** folder, std::wstring& name) {
    size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos || slash + 1 == path.size())
        return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    name = path.substr(slash + 1);
    HRESULT hr = Connect();
    CBstr parent(slash == 0 ? L"\\" : path.substr(0, slash).c_str());
    return SUCCEEDED(hr) ? m_taskService->GetFolder(parent.Get(), folder) : hr;
}

HRESULT CTaskSources::ReadTask(const std::wstring& path, TaskRecord& record, std::wstring& xml) {
    CComPtr<ITaskFolder> folder;
    CComPtr<IRegisteredTask> task;
    std::wstring name;
    HRESULT hr = OpenFolderOf(path, folder.Out(), name);
    CBstr text, bstrName(name.c_str());
    if (FAILED(hr) || FAILED(hr = folder->GetTask(bstrName.Get(), task.Out())) ||
        FAILED(hr = ReadTaskRecord(task.Get(), record)) || FAILED(hr = task->get_Xml(text.Out())))
        return hr;
    xml = text.Get() ? text.Get() : L"";
    return S_OK;
}

HRESULT CTaskSources::DeleteTask(const std::wstring& path) {
    CComPtr<ITaskFolder> folder;
    std::wstring name;
    HRESULT hr = OpenFolderOf(path, folder.Out(), name);
    CBstr bstrName(name.c_str());
    return SUCCEEDED(hr) ? folder->DeleteTask(bstrName.Get(), 0) : hr;
}
