// Makes scheduled tasks and jobs from outside Kestrow, for the system tests:
//   taskhelper addtask NAME APPLICATION   saves a work item through the Task Scheduler
//   taskhelper deltask NAME               deletes it
//   taskhelper addjob COMMAND             adds a job; prints its id as the enumeration lists it
//   taskhelper deljob COMMAND             deletes every job with that command
// Exit code 0 on success, 1 otherwise. Wine's schedule service may return a job id that its
// enumeration does not use, so jobs are found again by their command.
#include <windows.h>
#include <cstdio>
#include <lmcons.h>
#include <lmapibuf.h>
#include <lmat.h>
#include <lmerr.h>
#include <mstask.h>
#include <string>
#include <vector>

namespace {
std::wstring Wide(const char* s) {
    int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
    std::wstring w(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, s, -1, &w[0], n);
    w.resize(wcslen(w.c_str()));
    return w;
}

int WithScheduler(bool (*action)(ITaskScheduler*, const std::wstring&, const std::wstring&), const std::wstring& a,
                  const std::wstring& b) {
    if (FAILED(CoInitialize(nullptr)))
        return 1;
    ITaskScheduler* scheduler = nullptr;
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                         reinterpret_cast<void**>(&scheduler)));
    if (ok) {
        ok = action(scheduler, a, b);
        scheduler->Release();
    }
    CoUninitialize();
    return ok ? 0 : 1;
}

bool AddTask(ITaskScheduler* scheduler, const std::wstring& name, const std::wstring& application) {
    ITask* task = nullptr;
    HRESULT hr = scheduler->NewWorkItem(name.c_str(), CLSID_CTask, IID_ITask, reinterpret_cast<IUnknown**>(&task));
    if (FAILED(hr)) {
        fprintf(stderr, "NewWorkItem failed (0x%08lx)\n", hr);
        return false;
    }
    task->SetApplicationName(application.c_str());
    IPersistFile* file = nullptr;
    hr = task->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(hr)) {
        hr = file->Save(nullptr, TRUE);
        file->Release();
    }
    task->Release();
    if (FAILED(hr))
        fprintf(stderr, "Save failed (0x%08lx)\n", hr);
    return SUCCEEDED(hr);
}

bool DeleteTask(ITaskScheduler* scheduler, const std::wstring& name, const std::wstring&) {
    return SUCCEEDED(scheduler->Delete(name.c_str()));
}

// Ids of the jobs whose command is `command`.
std::vector<DWORD> FindJobs(const std::wstring& command) {
    std::vector<DWORD> ids;
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0, resume = 0;
    NET_API_STATUS status = NetScheduleJobEnum(nullptr, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume);
    if ((status == NERR_Success || status == ERROR_MORE_DATA) && buffer) {
        auto* jobs = reinterpret_cast<AT_ENUM*>(buffer);
        for (DWORD i = 0; i < read; ++i)
            if (jobs[i].Command && _wcsicmp(jobs[i].Command, command.c_str()) == 0)
                ids.push_back(jobs[i].JobId);
    }
    if (buffer)
        NetApiBufferFree(buffer);
    return ids;
}

int AddJob(const std::wstring& command) {
    AT_INFO info{};
    info.Command = const_cast<LPWSTR>(command.c_str());
    DWORD id = 0;
    NET_API_STATUS status = NetScheduleJobAdd(nullptr, reinterpret_cast<LPBYTE>(&info), &id);
    if (status != NERR_Success) {
        fprintf(stderr, "NetScheduleJobAdd failed (%lu)\n", status);
        return 1;
    }
    for (int i = 0; i < 50; ++i) {
        std::vector<DWORD> ids = FindJobs(command);
        if (!ids.empty()) {
            printf("%lu\n", ids.back());
            return 0;
        }
        Sleep(100);
    }
    fprintf(stderr, "the new job is not listed\n");
    return 1;
}

int DeleteJobs(const std::wstring& command) {
    int failures = 0;
    for (DWORD id : FindJobs(command))
        if (NetScheduleJobDel(nullptr, id, id) != NERR_Success)
            ++failures;
    return failures ? 1 : 0;
}
} // namespace

int main(int argc, char** argv) {
    std::string verb = argc > 1 ? argv[1] : "";
    if (verb == "addtask" && argc == 4)
        return WithScheduler(AddTask, Wide(argv[2]), Wide(argv[3]));
    if (verb == "deltask" && argc == 3)
        return WithScheduler(DeleteTask, Wide(argv[2]), L"");
    if (verb == "addjob" && argc == 3)
        return AddJob(Wide(argv[2]));
    if (verb == "deljob" && argc == 3)
        return DeleteJobs(Wide(argv[2]));
    fprintf(stderr, "usage: taskhelper addtask NAME APP | deltask NAME | addjob COMMAND | deljob COMMAND\n");
    return 2;
}
