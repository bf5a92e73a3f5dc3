// Drives a running Kestrow and the machine around it from outside, for the system tests and the
// benchmarks. Exit 0 on success, 1 on failure, 2 on bad use.
// The window (TITLE a dialog's title):
//   testtool state TITLE        prints "visible" or "hidden"; 1 when there is no such window
//   testtool wait TITLE MS      waits until a window TITLE exists; 1 on time-out
//   testtool gone TITLE MS      waits until no window TITLE exists; prints the ms it took
//   testtool tray TITLE ID      0 when the window's tray icon ID exists
//   testtool untray TITLE ID    removes that tray icon, as a shell that ended does
//   testtool taskbar -          tells every window that the task bar was made again
//   testtool close TITLE        posts WM_CLOSE
//   testtool click TITLE ID     clicks the button ID (posted BM_CLICK)
//   testtool show TITLE         right-button press on its tray icon (shows the window)
//   testtool text TITLE ID      prints the text of the control ID
//   testtool key TITLE ID KEY...  posts each key (home, down, delete) to the control ID
//   testtool answer TEXT ID MS  waits for a dialog with a control whose text holds TEXT (a
//                               message box), prints that text and clicks its button ID
// Many changes at once, with a journal, and the scheduled tasks:
//   testtool run OPSFILE     applies every line of OPSFILE in order; prints for each
//                            "<ms since 1970>\t<result>\t<line>" (result 0 = done)
//   testtool OP FIELD...     applies the one OPSFILE line "OP\tFIELD..." (addtask...)
//   testtool jobs            prints "job\tID\tFLAGS\tDAYSOFWEEK\tDAYSOFMONTH\tJOBTIME\tCOMMAND"
//                            for each scheduled job, in the enumeration's order
// Lines of OPSFILE hold tab-separated fields (ROOT is HKLM, HKCU or HKCR):
//   setsz ROOT PATH NAME DATA    REG_SZ value, NAME empty for the default (key created when missing)
//   setdw ROOT PATH NAME NUMBER  REG_DWORD value (decimal, may be negative)
//   setbin ROOT PATH NAME HEX    REG_BINARY value
//   delval ROOT PATH NAME
//   mkkey ROOT PATH
//   delkey ROOT PATH             the key and everything below it
//   mkfile FILE TEXT
//   addtask NAME APPLICATION     saves a new work item through the Task Scheduler
#include <windows.h>
#include <shellapi.h>
#include <lmcons.h> // before the other network headers
#include <lmapibuf.h>
#include <lmat.h>
#include <lmerr.h>
#include <mstask.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>
#include "AfxHandle.h"

namespace {
using Fields = std::vector<std::string>;

std::wstring Wide(const std::string& s) {
    std::wstring w(s.size() + 1, L'\0');
    w.resize(std::max(0, ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &w[0],
                                               static_cast<int>(w.size()))));
    return w;
}

std::string Narrow(const wchar_t* w) {
    std::string s(w ? std::wcslen(w) * 2 + 1 : 1, '\0');
    int n = ::WideCharToMultiByte(CP_ACP, 0, w ? w : L"", -1, &s[0], static_cast<int>(s.size()), nullptr,
                                  nullptr);
    s.resize(std::max(0, n - 1));
    return s;
}

std::string Unhex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16));
    return bytes;
}

// ---- The window ----

// One verb on the window TITLE (a dialog's).
int Window(const std::string& verb, const char* title, int id) {
    HWND w = ::FindWindowA("#32770", title);
    if (verb == "wait" || verb == "gone") {
        for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < static_cast<DWORD>(id); ::Sleep(20))
            if ((::FindWindowA("#32770", title) != nullptr) == (verb == "wait"))
                return std::printf("%lu\n", ::GetTickCount() - start) < 0;
        return 1;
    }
    if (verb == "taskbar")
        return !::PostMessageA(HWND_BROADCAST, ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    if (!w)
        return 1;
    if (verb == "tray" || verb == "untray") {
        NOTIFYICONDATAA icon{};
        icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
        icon.hWnd = w;
        icon.uID = static_cast<UINT>(id);
        return !::Shell_NotifyIconA(verb == "tray" ? NIM_MODIFY : NIM_DELETE, &icon);
    }
    if (verb == "close" || verb == "show" || verb == "click")
        return !(verb == "close"  ? ::PostMessageA(w, WM_CLOSE, 0, 0)
                 : verb == "show" ? ::PostMessageA(w, WM_APP + 100, 1002, WM_RBUTTONDOWN)
                                  : ::PostMessageA(::GetDlgItem(w, id), BM_CLICK, 0, 0));
    char text[1024] = "";
    if (verb == "state")
        std::strcpy(text, ::IsWindowVisible(w) ? "visible" : "hidden");
    else if (verb == "text")
        ::GetDlgItemTextA(w, id, text, sizeof text);
    else
        return 1;
    return std::puts(text) < 0;
}

// Keys as the control takes them from the keyboard.
int Keys(const char* title, int id, const Fields& keys) {
    static const std::map<std::string, WPARAM> kKeys{
        {"home", VK_HOME}, {"down", VK_DOWN}, {"delete", VK_DELETE}};
    HWND control = ::GetDlgItem(::FindWindowA("#32770", title), id);
    for (const std::string& key : keys)
        if (!control || !kKeys.count(key) || !::PostMessageA(control, WM_KEYDOWN, kKeys.at(key), 1) ||
            !::PostMessageA(control, WM_KEYUP, kKeys.at(key), 0xC0000001))
            return 1;
    return 0;
}

struct Question {
    const char* text;
    HWND dialog = nullptr;
    std::string said{};
};
BOOL CALLBACK FindQuestion(HWND dialog, LPARAM p) {
    auto* q = reinterpret_cast<Question*>(p);
    char cls[16] = "";
    ::GetClassNameA(dialog, cls, sizeof cls);
    for (HWND child = nullptr; !q->dialog && !std::strcmp(cls, "#32770") &&
                               (child = ::FindWindowExA(dialog, child, nullptr, nullptr));) {
        char text[2048] = "";
        ::GetWindowTextA(child, text, sizeof text);
        if (std::strstr(text, q->text))
            q->dialog = dialog, q->said = text;
    }
    return !q->dialog;
}

int Answer(const char* text, int id, DWORD ms) {
    Question q{text};
    for (DWORD start = ::GetTickCount(); !q.dialog && ::GetTickCount() - start < ms; ::Sleep(20))
        ::EnumWindows(FindQuestion, reinterpret_cast<LPARAM>(&q));
    return !q.dialog || std::puts(q.said.c_str()) < 0 ||
           !::PostMessageA(::GetDlgItem(q.dialog, id), BM_CLICK, 0, 0);
}

// ---- The registry ----

// A registry line of OPSFILE.
LONG ApplyToRegistry(const Fields& f) {
    HKEY root = f[1] == "HKLM"   ? HKEY_LOCAL_MACHINE
                : f[1] == "HKCU" ? HKEY_CURRENT_USER
                : f[1] == "HKCR" ? HKEY_CLASSES_ROOT
                                 : nullptr;
    const std::string& op = f[0];
    if (op == "delkey")
        return root ? ::RegDeleteTreeA(root, f[2].c_str()) : ERROR_INVALID_HANDLE;
    HKEY opened = nullptr;
    LONG r =
        root ? ::RegCreateKeyExA(root, f[2].c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr)
             : ERROR_INVALID_HANDLE;
    CKeyHandle key(opened);
    if (r || op == "mkkey")
        return r;
    std::wstring name = Wide(f[3]);
    if (op == "delval")
        return ::RegDeleteValueW(key.Get(), name.c_str());
    std::wstring text = Wide(f.back());
    DWORD number = static_cast<DWORD>(std::strtoll(f.back().c_str(), nullptr, 10));
    std::string data = op == "setbin"  ? Unhex(f.back())
                       : op == "setdw" ? std::string(reinterpret_cast<const char*>(&number), sizeof number)
                                       : std::string(reinterpret_cast<const char*>(text.c_str()),
                                                     (text.size() + 1) * sizeof(wchar_t));
    DWORD type = op == "setdw" ? REG_DWORD : op == "setbin" ? REG_BINARY : REG_SZ;
    return ::RegSetValueExW(key.Get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                            static_cast<DWORD>(data.size()));
}

// ---- The Task Scheduler ----

// The Task Scheduler of this process, made on first use and kept to the end.
ITaskScheduler* Scheduler() {
    static CComPtr<ITaskScheduler> scheduler;
    static HRESULT made = FAILED(::CoInitialize(nullptr))
                              ? E_FAIL
                              : ::CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                                   IID_ITaskScheduler, scheduler.OutVoid());
    return SUCCEEDED(made) ? scheduler.Get() : nullptr;
}

// Saves a new work item running application.
LONG SaveTask(const std::string& name, const std::string& application) {
    CComPtr<ITask> task;
    CComPtr<IPersistFile> file;
    auto out = reinterpret_cast<IUnknown**>(task.Out());
    HRESULT hr =
        !Scheduler() ? E_FAIL : Scheduler()->NewWorkItem(Wide(name).c_str(), CLSID_CTask, IID_ITask, out);
    if (SUCCEEDED(hr) && SUCCEEDED(hr = task->SetApplicationName(Wide(application).c_str())) &&
        SUCCEEDED(hr = task->QueryInterface(IID_IPersistFile, file.OutVoid())))
        hr = file->Save(nullptr, TRUE);
    return hr;
}

// Wine's schedule service reads each task file after it changes, sharing it for reading
// only: a change that comes at that moment is refused and is tried again.
template <class Change> LONG Retried(Change change) {
    LONG r = change();
    for (int i = 0;
         i < 50 && (r == ERROR_SHARING_VIOLATION || r == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
         ++i, ::Sleep(10))
        r = change();
    return r;
}

// Every scheduled job, in the order the enumeration gives them.
int PrintJobs() {
    for (DWORD resume = 0;;) {
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        NET_API_STATUS status =
            ::NetScheduleJobEnum(nullptr, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume);
        for (auto* job = reinterpret_cast<AT_ENUM*>(buffer);
             job && job < reinterpret_cast<AT_ENUM*>(buffer) + read; ++job)
            std::printf("job\t%lu\t%u\t%u\t%lu\t%llu\t%s\n", job->JobId, job->Flags, job->DaysOfWeek,
                        job->DaysOfMonth, static_cast<unsigned long long>(job->JobTime),
                        Narrow(job->Command).c_str());
        ::NetApiBufferFree(buffer);
        if (status != ERROR_MORE_DATA || read == 0)
            return status != NERR_Success && status != ERROR_MORE_DATA;
    }
}

// ---- Lists of changes ----

// One OPSFILE line; -1 when it is no such line.
LONG Apply(const Fields& f) {
    static const std::map<std::string, size_t> kFields{{"setsz", 5},  {"setdw", 5},  {"setbin", 5},
                                                       {"delval", 4}, {"mkkey", 3},  {"delkey", 3},
                                                       {"mkfile", 3}, {"addtask", 3}};
    auto known = kFields.find(f.empty() ? "" : f[0]);
    if (known == kFields.end() || known->second != f.size())
        return -1;
    const std::string& op = f[0];
    if (op == "mkfile")
        return std::ofstream(f[1], std::ios::binary).write(f[2].data(), f[2].size()) ? 0 : ::GetLastError();
    if (op == "addtask")
        return Retried([&] { return SaveTask(f[1], f[2]); });
    return ApplyToRegistry(f);
}

int Run(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return 2;
    // Journal lines are printed after the whole list is applied, so that printing takes no
    // time between the changes.
    std::string journal;
    int failed = 0;
    for (std::string line; std::getline(in, line);) {
        std::erase(line, '\r');
        Fields fields(!line.empty());
        for (char c : line)
            if (c == '\t')
                fields.emplace_back();
            else
                fields.back() += c;
        if (fields.empty())
            continue;
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::system_clock::now().time_since_epoch());
        LONG r = Apply(fields);
        failed += r != 0;
        journal += std::to_string(ms.count()) + "\t" + std::to_string(r) + "\t" + line + "\n";
    }
    std::fputs(journal.c_str(), stdout);
    return failed ? 1 : 0;
}
} // namespace

int main(int argc, char** argv) {
    Fields args(argv + std::min(argc, 1), argv + argc);
    std::string verb = args.empty() ? "" : args[0];
    const std::string windowVerbs = " wait gone taskbar state tray untray text close show click ";
    if (argc > 2 && windowVerbs.find(" " + verb + " ") != std::string::npos)
        return Window(verb, argv[2], argc > 3 ? std::atoi(argv[3]) : 0);
    if (verb == "key" && argc > 4)
        return Keys(argv[2], std::atoi(argv[3]), Fields(argv + 4, argv + argc));
    if (verb == "answer" && argc == 5)
        return Answer(argv[2], std::atoi(argv[3]), std::strtoul(argv[4], nullptr, 10));
    if (verb == "run" && argc == 3)
        return Run(argv[2]);
    if (verb == "jobs" && argc == 2)
        return PrintJobs();
    LONG r = Apply(args);
    return r == -1 ? 2 : r != 0;
}
