// Applies a list of registry, file and scheduled task changes as fast as it can, for the
// stress test and the scale benchmark, and journals each one; also makes single tasks and
// jobs for the task system test.
//   stresshelper run OPSFILE     applies every line of OPSFILE in order; prints for each
//                                "<ms since 1970>\t<result>\t<line>" (result 0 = done)
//   stresshelper folders         prints the user's and the common Startup folder, one a line
//   stresshelper jobs            prints "job\tID\tFLAGS\tDAYSOFWEEK\tDAYSOFMONTH\tJOBTIME\tCOMMAND"
//                                for each scheduled job, in the enumeration's order
//   stresshelper tasks           prints "item\tNAME\tAPPLICATION" for each work item, then the jobs
//   stresshelper addtask NAME APPLICATION / deltask NAME / deljob COMMAND
//   stresshelper addjob COMMAND  adds a job; prints its id as the enumeration lists it
// Lines of OPSFILE hold tab-separated fields (ROOT is HKLM, HKCU or HKCR):
//   setsz ROOT PATH NAME DATA    REG_SZ value (key created when missing)
//   setdw ROOT PATH NAME NUMBER  REG_DWORD value (decimal, may be negative)
//   setbin ROOT PATH NAME HEX    REG_BINARY value
//   setdef ROOT PATH DATA        the default value, REG_SZ
//   delval ROOT PATH NAME
//   mkkey ROOT PATH
//   delkey ROOT PATH             the key and everything below it
//   mkfile FILE TEXT / delfile FILE / mvfile FROM TO
//   addtask NAME APPLICATION     saves a new work item through the Task Scheduler
//   settask NAME APPLICATION     saves an existing one with another application
//   deltask NAME
//   addjob COMMAND               NetScheduleJobAdd, the job running at midnight
//   deljob COMMAND               deletes every job with that command
// Exit 0 when every line was applied, 1 when some failed, 2 on bad use.
#include <windows.h>
#include <lmcons.h> // before the other network headers
#include <lmapibuf.h>
#include <lmat.h>
#include <lmerr.h>
#include <mstask.h>
#include <shlobj.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
HKEY Root(const std::string& name) {
    if (name == "HKLM")
        return HKEY_LOCAL_MACHINE;
    if (name == "HKCU")
        return HKEY_CURRENT_USER;
    if (name == "HKCR")
        return HKEY_CLASSES_ROOT;
    return nullptr;
}

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

LONG SetValue(const std::vector<std::string>& f, const char* name, DWORD type, const BYTE* data, DWORD size) {
    HKEY key;
    LONG r =
        ::RegCreateKeyExA(Root(f[1]), f[2].c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (r != ERROR_SUCCESS)
        return r;
    r = ::RegSetValueExA(key, name, 0, type, data, size);
    ::RegCloseKey(key);
    return r;
}

LONG SetText(const std::vector<std::string>& f, const char* name, const std::string& text) {
    return SetValue(f, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                    static_cast<DWORD>(text.size() + 1));
}

std::wstring Wide(const std::string& s) {
    int n = ::MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? n : 1, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, &w[0], n);
    w.resize(wcslen(w.c_str()));
    return w;
}

std::string Narrow(const wchar_t* w) {
    if (!w)
        return std::string();
    int n = ::WideCharToMultiByte(CP_ACP, 0, w, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n : 1, '\0');
    ::WideCharToMultiByte(CP_ACP, 0, w, -1, &s[0], n, nullptr, nullptr);
    s.resize(std::strlen(s.c_str()));
    return s;
}

// The Task Scheduler of this process, made on first use and kept to the end.
ITaskScheduler* Scheduler() {
    static ITaskScheduler* scheduler = nullptr;
    static bool tried = false;
    if (!tried) {
        tried = true;
        if (SUCCEEDED(::CoInitialize(nullptr)) &&
            FAILED(::CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                      reinterpret_cast<void**>(&scheduler))))
            scheduler = nullptr;
    }
    return scheduler;
}

LONG SaveTask(ITask* task, const std::string& application) {
    HRESULT hr = task->SetApplicationName(Wide(application).c_str());
    IPersistFile* file = nullptr;
    if (SUCCEEDED(hr))
        hr = task->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(hr)) {
        hr = file->Save(nullptr, TRUE);
        file->Release();
    }
    task->Release();
    return static_cast<LONG>(hr);
}

// Wine's schedule service reads each task file after it changes, sharing it for reading
// only: a change that comes at that moment is refused and is tried again.
template <class Change> LONG Retried(Change change) {
    LONG r = change();
    for (int i = 0;
         i < 50 && (r == ERROR_SHARING_VIOLATION || r == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION)); ++i) {
        ::Sleep(10);
        r = change();
    }
    return r;
}

LONG AddTask(const std::string& name, const std::string& application) {
    ITaskScheduler* scheduler = Scheduler();
    if (!scheduler)
        return -2;
    ITask* task = nullptr;
    HRESULT hr = scheduler->NewWorkItem(Wide(name).c_str(), CLSID_CTask, IID_ITask,
                                        reinterpret_cast<IUnknown**>(&task));
    return FAILED(hr) ? static_cast<LONG>(hr) : SaveTask(task, application);
}

LONG SetTask(const std::string& name, const std::string& application) {
    ITaskScheduler* scheduler = Scheduler();
    if (!scheduler)
        return -2;
    ITask* task = nullptr;
    HRESULT hr = scheduler->Activate(Wide(name).c_str(), IID_ITask, reinterpret_cast<IUnknown**>(&task));
    return FAILED(hr) ? static_cast<LONG>(hr) : SaveTask(task, application);
}

LONG DeleteTask(const std::string& name) {
    ITaskScheduler* scheduler = Scheduler();
    return scheduler ? static_cast<LONG>(scheduler->Delete(Wide(name).c_str())) : -2;
}

struct Job {
    DWORD id;
    std::string command;
    AT_ENUM record; // its Command is not kept
};

// Every scheduled job, in the order the enumeration gives them; false when it fails.
bool ListJobs(std::vector<Job>& jobs) {
    DWORD resume = 0;
    for (;;) {
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        NET_API_STATUS status =
            ::NetScheduleJobEnum(nullptr, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume);
        if (status != NERR_Success && status != ERROR_MORE_DATA) {
            if (buffer)
                ::NetApiBufferFree(buffer);
            return false;
        }
        if (buffer) {
            auto* records = reinterpret_cast<AT_ENUM*>(buffer);
            for (DWORD i = 0; i < read; ++i)
                jobs.push_back({records[i].JobId, Narrow(records[i].Command), records[i]});
            ::NetApiBufferFree(buffer);
        }
        if (status != ERROR_MORE_DATA || read == 0)
            return true;
    }
}

LONG AddJob(const std::string& command, DWORD* id) {
    std::wstring wide = Wide(command);
    AT_INFO info{};
    info.Command = &wide[0];
    return static_cast<LONG>(::NetScheduleJobAdd(nullptr, reinterpret_cast<LPBYTE>(&info), id));
}

// The first refusal, or ERROR_FILE_NOT_FOUND when no job has that command.
LONG DeleteJobs(const std::string& command) {
    std::vector<Job> jobs;
    if (!ListJobs(jobs))
        return -3;
    LONG r = ERROR_FILE_NOT_FOUND;
    for (const Job& job : jobs)
        if (_stricmp(job.command.c_str(), command.c_str()) == 0) {
            LONG deleted =
                Retried([&] { return static_cast<LONG>(::NetScheduleJobDel(nullptr, job.id, job.id)); });
            if (r == ERROR_FILE_NOT_FOUND || r == 0)
                r = deleted;
        }
    return r;
}

LONG Apply(const std::vector<std::string>& f) {
    const std::string& op = f[0];
    size_t n = f.size();
    bool registry = n >= 3 && Root(f[1]);
    if (op == "setsz" && registry && n == 5)
        return SetText(f, f[3].c_str(), f[4]);
    if (op == "setdef" && registry && n == 4)
        return SetText(f, "", f[3]);
    if (op == "setdw" && registry && n == 5) {
        DWORD number = static_cast<DWORD>(std::strtoll(f[4].c_str(), nullptr, 10));
        return SetValue(f, f[3].c_str(), REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    }
    if (op == "setbin" && registry && n == 5) {
        std::string bytes;
        for (size_t i = 0; i + 1 < f[4].size(); i += 2)
            bytes += static_cast<char>(std::strtol(f[4].substr(i, 2).c_str(), nullptr, 16));
        return SetValue(f, f[3].c_str(), REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()));
    }
    if (op == "delval" && registry && n == 4) {
        HKEY key;
        LONG r = ::RegOpenKeyExA(Root(f[1]), f[2].c_str(), 0, KEY_SET_VALUE, &key);
        if (r != ERROR_SUCCESS)
            return r;
        r = ::RegDeleteValueA(key, f[3].c_str());
        ::RegCloseKey(key);
        return r;
    }
    if (op == "mkkey" && registry && n == 3) {
        HKEY key;
        LONG r = ::RegCreateKeyExA(Root(f[1]), f[2].c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                   nullptr);
        if (r == ERROR_SUCCESS)
            ::RegCloseKey(key);
        return r;
    }
    if (op == "delkey" && registry && n == 3) {
        LONG r = ::RegDeleteTreeA(Root(f[1]), f[2].c_str());
        // Given a subkey, the tree call removes the key itself as well; older systems leave it.
        HKEY left;
        if (r == ERROR_SUCCESS &&
            ::RegOpenKeyExA(Root(f[1]), f[2].c_str(), 0, KEY_READ, &left) == ERROR_SUCCESS) {
            ::RegCloseKey(left);
            r = ::RegDeleteKeyA(Root(f[1]), f[2].c_str());
        }
        return r;
    }
    if (op == "mkfile" && n == 3) {
        HANDLE h = ::CreateFileA(f[1].c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return static_cast<LONG>(::GetLastError());
        DWORD written;
        ::WriteFile(h, f[2].data(), static_cast<DWORD>(f[2].size()), &written, nullptr);
        ::CloseHandle(h);
        return 0;
    }
    if (op == "delfile" && n == 2)
        return ::DeleteFileA(f[1].c_str()) ? 0 : static_cast<LONG>(::GetLastError());
    if (op == "mvfile" && n == 3)
        return ::MoveFileA(f[1].c_str(), f[2].c_str()) ? 0 : static_cast<LONG>(::GetLastError());
    if (op == "addtask" && n == 3)
        return Retried([&] { return AddTask(f[1], f[2]); });
    if (op == "settask" && n == 3)
        return Retried([&] { return SetTask(f[1], f[2]); });
    if (op == "deltask" && n == 2)
        return Retried([&] { return DeleteTask(f[1]); });
    if (op == "addjob" && n == 2) {
        DWORD id;
        return AddJob(f[1], &id);
    }
    if (op == "deljob" && n == 2)
        return DeleteJobs(f[1]);
    return -1;
}

long long NowMs() {
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return static_cast<long long>(t.QuadPart / 10000 - 11644473600000LL);
}
} // namespace

// Waits for the enumeration to list a job with `command` (Wine's schedule service may hand
// back an id that its enumeration does not use) and prints that id.
int PrintNewJob(const std::string& command) {
    for (int i = 0; i < 50; ++i) {
        std::vector<Job> jobs;
        DWORD found = 0;
        bool any = false;
        if (ListJobs(jobs))
            for (const Job& job : jobs)
                if (_stricmp(job.command.c_str(), command.c_str()) == 0) {
                    found = job.id;
                    any = true;
                }
        if (any) {
            std::printf("%lu\n", found);
            return 0;
        }
        ::Sleep(100);
    }
    std::fprintf(stderr, "the new job is not listed\n");
    return 1;
}

int PrintJobs() {
    std::vector<Job> jobs;
    if (!ListJobs(jobs))
        return 1;
    for (const Job& job : jobs)
        std::printf("job\t%lu\t%u\t%u\t%lu\t%llu\t%s\n", job.id, job.record.Flags, job.record.DaysOfWeek,
                    job.record.DaysOfMonth, static_cast<unsigned long long>(job.record.JobTime),
                    job.command.c_str());
    return 0;
}

int ListTasks() {
    ITaskScheduler* scheduler = Scheduler();
    IEnumWorkItems* items = nullptr;
    if (!scheduler || FAILED(scheduler->Enum(&items)) || !items)
        return 1;
    LPWSTR* names = nullptr;
    ULONG count = 0;
    while (SUCCEEDED(items->Next(5, &names, &count)) && names && count) {
        for (ULONG i = 0; i < count; ++i) {
            std::string application;
            ITask* task = nullptr;
            std::wstring name = names[i];
            // Listed with ".job", activated without it.
            if (name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".job") == 0)
                name.resize(name.size() - 4);
            if (SUCCEEDED(
                    scheduler->Activate(name.c_str(), IID_ITask, reinterpret_cast<IUnknown**>(&task)))) {
                LPWSTR text = nullptr;
                if (SUCCEEDED(task->GetApplicationName(&text))) {
                    application = Narrow(text);
                    ::CoTaskMemFree(text);
                }
                task->Release();
            }
            std::printf("item\t%s\t%s\n", Narrow(names[i]).c_str(), application.c_str());
            ::CoTaskMemFree(names[i]);
        }
        ::CoTaskMemFree(names);
        names = nullptr;
    }
    items->Release();
    return PrintJobs();
}

int main(int argc, char** argv) {
    std::string verb = argc > 1 ? argv[1] : "";
    if (verb == "addtask" && argc == 4)
        return Retried([&] { return AddTask(argv[2], argv[3]); }) ? 1 : 0;
    if (verb == "deltask" && argc == 3)
        return Retried([&] { return DeleteTask(argv[2]); }) ? 1 : 0;
    if (verb == "addjob" && argc == 3) {
        DWORD id;
        LONG r = AddJob(argv[2], &id);
        if (r) {
            std::fprintf(stderr, "NetScheduleJobAdd failed (%ld)\n", r);
            return 1;
        }
        return PrintNewJob(argv[2]);
    }
    if (verb == "deljob" && argc == 3)
        return DeleteJobs(argv[2]) ? 1 : 0;
    if (verb == "tasks" && argc == 2)
        return ListTasks();
    if (verb == "jobs" && argc == 2)
        return PrintJobs();
    if (argc == 2 && !std::strcmp(argv[1], "folders")) {
        char path[MAX_PATH];
        for (int csidl : {CSIDL_STARTUP, CSIDL_COMMON_STARTUP}) {
            path[0] = '\0';
            ::SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
            std::printf("%s\n", path);
        }
        return 0;
    }
    if (argc != 3 || std::strcmp(argv[1], "run"))
        return 2;
    FILE* in = std::fopen(argv[2], "rb");
    if (!in)
        return 2;
    // Journal lines are written after the whole list is applied, so that printing takes no
    // time between the changes.
    std::vector<std::string> journal;
    int failed = 0;
    std::string line;
    for (int c; (c = std::fgetc(in)) != EOF || !line.empty();) {
        if (c != '\n' && c != EOF) {
            if (c != '\r')
                line += static_cast<char>(c);
            continue;
        }
        if (!line.empty()) {
            LONG r = Apply(Split(line));
            failed += r != 0;
            journal.push_back(std::to_string(NowMs()) + "\t" + std::to_string(r) + "\t" + line);
        }
        line.clear();
        if (c == EOF)
            break;
    }
    std::fclose(in);
    for (const std::string& entry : journal)
        std::printf("%s\n", entry.c_str());
    return failed ? 1 : 0;
}
