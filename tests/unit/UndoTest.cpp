// RESOURCE_LOCK: tasks
// Undoing a row's change, planned and carried out for real on scratch keys, folders and Wine's
// Task Scheduler: places of the test's own that read as the program's do, in both registry
// views; the state kept first is read back and brought back as a user would (reg import,
// schtasks /create /xml, the .job file copied back).
#include "TestSupport.h"
#include "app/Undo.h"
#include <gtest/gtest.h>
#include <cstring>
#include <lmcons.h>

#include <lmapibuf.h>
#include <lmat.h>
#include <mstask.h>
#include <sddl.h>

namespace {
#define KT "Software\\KestrowTests\\Undo\\"
#define U "HKCU\\" KT
#define W32 "HKLM\\Software\\WOW6432Node\\KestrowTests\\Undo\\"
#define OFFICE "C:\\KTUndo\\STARTUP"
#define STARTUP "C:\\KTUndo\\Startup"

KnownPlaces TestPlaces(const std::string& startupFolder) {
    return KnownPlaces{
        {
            {"KT Run", "HKCU\\" KT "Run", ReadValueTexts},
            {"KT Run", "HKLM\\" KT "Run", ReadValueTexts, nullptr, kBothViews},
            {"KT Typed", "HKCU\\" KT "Typed", ReadValues},
            {"KT Typed", "HKCU\\" KT "Sub\\*", ReadValues, "Debugger|"},
            {"KT Approved", "HKCU\\" KT "Approved", ReadApprovals},
            {CATEGORY_WINLOGON, "HKCU\\" KT "Winlogon", ReadWinlogonValues, nullptr, kItemNamed},
            {CATEGORY_SERVICE, "HKCU\\" KT "Services", ReadSubkeyTexts, "ImagePath", kSubtree | kItemNamed},
        },
        {startupFolder, ""},
        {{CATEGORY_OFFICE_ADDINS, OFFICE, FolderItemKind::Files},
         {CATEGORY_IMAGE_HIJACKS, "C:\\KTUndo\\System32", FolderItemKind::HashedStamps}}};
}

std::string g_job; // the id of the job the test made

// Where Wine keeps a task ("task:\\Folder\\Name") or a work item ("item:Name"); a file
// ("file:C:\\...") is itself.
std::string FileOf(const std::string& where) {
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    return where[0] == 't'   ? windows + ("\\system32\\tasks" + where.substr(5))
           : where[0] == 'i' ? windows + ("\\Tasks\\" + where.substr(5) + ".job")
                             : where.substr(5);
}

DWORD RunCommand(std::string command) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return GetLastError();
    CHandle process(pi.hProcess), thread(pi.hThread);
    DWORD code = 1;
    WaitForSingleObject(process.Get(), INFINITE);
    GetExitCodeProcess(process.Get(), &code);
    return code;
}

// Brings back what was kept, as the user would: reg import, schtasks /create /xml, the .job file
// copied back; 0 when done, kCannot for what the user cannot bring back so (a job, a file).
const DWORD kCannot = ~0u;
DWORD Restore(const std::string& kept, const std::string& where) {
    std::string type = kept.substr(kept.size() - 4), quoted = " \"" + kept + "\"";
    return type == ".reg"   ? RunCommand("reg.exe import" + quoted)
           : type == ".xml" ? RunCommand("schtasks.exe /create /tn \"" + where.substr(5) + "\" /xml" + quoted)
           : type == ".job" ? (CopyFileA(kept.c_str(), FileOf(where).c_str(), TRUE) ? 0 : GetLastError())
                            : kCannot;
}

// A task, work item or job as "task", "item", "job", a file as "file:" and its bytes; "-" when
// missing.
std::string ItemState(const std::string& where) {
    LPBYTE job = nullptr;
    if (where[0] == 'j' && !NetScheduleJobGetInfo(nullptr, std::stoul(g_job), &job))
        return NetApiBufferFree(job), "job";
    if (where[0] == 'j' || !std::filesystem::exists(FileOf(where)))
        return "-";
    return where[0] == 'f' ? "file:" + ReadFileBytes(FileOf(where)) : where.substr(0, 4);
}

// Makes the task, work item (each running C:\KT.exe), job or file.
void PutItem(const std::string& where, const std::string& state) {
    CTempDir temp;
    std::ofstream(temp.path + "t.xml")
        << "<Task xmlns='http://schemas.microsoft.com/windows/2004/02/mit/task'>"
           "<Actions><Exec><Command>C:\\KT.exe</Command></Exec></Actions></Task>";
    CComPtr<ITaskScheduler> scheduler;
    CComPtr<ITask> task;
    CComPtr<IPersistFile> file;
    AT_INFO job{0, 0, 0, 0, const_cast<LPWSTR>(L"C:\\KTjob.exe")};
    DWORD id = 0;
    if (where[0] == 't') {
        EXPECT_EQ(0u, Restore(temp.path + "t.xml", where));
    }
    if (where[0] == 'i') {
        EXPECT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                               IID_ITaskScheduler, scheduler.OutVoid())) &&
                    SUCCEEDED(scheduler->NewWorkItem(Utf8ToWide(where.substr(5)).c_str(), CLSID_CTask,
                                                     IID_ITask, reinterpret_cast<IUnknown**>(task.Out()))) &&
                    SUCCEEDED(task->SetApplicationName(L"C:\\KT.exe")) &&
                    SUCCEEDED(task->QueryInterface(IID_IPersistFile, file.OutVoid())) &&
                    SUCCEEDED(file->Save(nullptr, TRUE)));
    }
    // Wine's schedule service may fail an add while it reads its folder again after a change.
    if (where[0] == 'j') {
        EXPECT_TRUE(WaitUntil(
            [&] { return !NetScheduleJobAdd(nullptr, reinterpret_cast<LPBYTE>(&job), &id); }, 5000));
    }
    g_job = where[0] == 'j' ? std::to_string(id) : g_job;
    if (where[0] == 'f')
        std::filesystem::create_directories(std::filesystem::path(FileOf(where)).parent_path()),
            std::ofstream(FileOf(where)) << state.substr(5);
}

// "HKCU|HKLM\path|name" ("" the default value).
void Split(const std::string& where, HKEY& hive, std::string& path, std::string& name) {
    hive = where[3] == 'M' ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    path = where.substr(5, where.find('|') - 5);
    name = where.substr(where.find('|') + 1);
}

// A value's state as "sz:text", "dw:5", "bin:0300", "multi:a,b", or "-" when it is missing.
std::string State(const std::string& where) {
    if (where.rfind("HK", 0) != 0)
        return where.empty() ? "" : ItemState(where);
    HKEY hive;
    std::string path, name;
    Split(where, hive, path, name);
    RegistryValueState state = ReadValueState(hive, 0, path, name);
    const char* type = state.type == REG_SZ         ? "sz:"
                       : state.type == REG_DWORD    ? "dw:"
                       : state.type == REG_MULTI_SZ ? "multi:"
                                                    : "bin:";
    return state.exists ? type + TypedValueText(state.type, state.data.data(), DWORD(state.data.size()))
                        : "-";
}

void Put(const std::string& where, const std::string& state) {
    if (where.rfind("HK", 0) != 0)
        return where.empty() || state == "-" ? void() : PutItem(where, state);
    HKEY hive;
    std::string path, name;
    Split(where, hive, path, name);
    std::string type = state.substr(0, state.find(':')), text = state.substr(state.find(':') + 1);
    std::wstring wide = Utf8ToWide(text) + L'\0';
    if (type == "multi")
        std::replace(wide.begin(), wide.end(), L',', L'\0'), wide += L'\0';
    std::string bytes(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    DWORD number = std::strtoul(text.c_str(), nullptr, 10);
    if (type == "dw")
        bytes.assign(reinterpret_cast<const char*>(&number), 4);
    for (size_t i = 0; type == "bin" && i < text.size(); i += 2)
        bytes.resize(i / 2), bytes += char(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16));
    DWORD kind = type == "sz"      ? REG_SZ
                 : type == "dw"    ? REG_DWORD
                 : type == "multi" ? REG_MULTI_SZ
                                   : REG_BINARY;
    CRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(hive, path));
    if (state == "-")
        key.DeleteValue(name);
    else
        RegSetValueExW(key.Get(), Utf8ToWide(name).c_str(), 0, kind,
                       reinterpret_cast<const BYTE*>(bytes.data()), DWORD(bytes.size()));
}

struct UndoCase {
    std::string where, before;
    std::pair<std::string, std::string> beside; // another value, which must stay as it is
    EventTexts row;
    std::string says, after;
    std::string regFile{}; // when given, the .reg file kept, whole
    std::string fails{};   // when given, what carrying it out says: setting the key's values is denied
};
const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const UndoCase kCases[] = {
    // clang-format off
    {U "Run|Updater", "sz:C:\\Tools\\upd.exe", {}, {"KT Run", EVENT_NEW, "HKCU/" KT "Run",
     "Updater=C:\\Tools\\upd.exe"}, "Remove the value Updater=C:\\Tools\\upd.exe from " U "Run?", "-",
     kHeader + "[HKEY_CURRENT_USER\\" KT "Run]\r\n\"Updater\"=\"C:\\\\Tools\\\\upd.exe\"\r\n\r\n"},
    {"HKLM\\" KT "Run|Upd", "sz:C:\\new.exe", {}, {"KT Run", EVENT_CHANGED, "HKLM/" KT "Run", "Upd=C:\\new.exe",
     "Upd=C:\\old.exe"}, "Write back Upd=C:\\old.exe in HKLM\\" KT "Run, in place of C:\\new.exe?",
     "sz:C:\\old.exe"},
    {W32 "Run|Upd32", "-", {"HKLM\\" KT "Run|Upd32", "-"}, {"KT Run", EVENT_DELETED,
     "HKLM/Software\\WOW6432Node\\KestrowTests\\Undo\\Run", "Upd32=C:\\x86\\a \"q\".exe"},
     "Make the value Upd32=C:\\x86\\a \"q\".exe again in " W32 "Run, as text (REG_SZ)?",
     "sz:C:\\x86\\a \"q\".exe",
     kHeader + "[HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\KestrowTests\\Undo\\Run]\r\n\"Upd32\"=-\r\n\r\n"},
    {U "Typed|", "sz:C:\\def.exe", {}, {"KT Typed", EVENT_NEW, "HKCU/" KT "Typed", "(Default)=C:\\def.exe"},
     "Remove the value (Default)=C:\\def.exe from " U "Typed?", "-",
     kHeader + "[HKEY_CURRENT_USER\\" KT "Typed]\r\n@=\"C:\\\\def.exe\"\r\n\r\n"},
    {U "Typed|a=b", "sz:c=d", {U "Typed|a", "sz:b=x"}, {"KT Typed", EVENT_CHANGED, "HKCU/" KT "Typed",
     "a=b=c=d", "a=b=old"}, "Write back a=b=old in " U "Typed, in place of c=d?", "sz:old"},
    {U "Typed|Count", "dw:5", {}, {"KT Typed", EVENT_CHANGED, "HKCU/" KT "Typed", "Count=5", "Count=7"},
     "Write back Count=7 in " U "Typed, in place of 5?", "dw:7",
     kHeader + "[HKEY_CURRENT_USER\\" KT "Typed]\r\n\"Count\"=dword:00000005\r\n\r\n"},
    {U "Typed|Order", "multi:a,b", {}, {"KT Typed", EVENT_CHANGED, "HKCU/" KT "Typed", "Order=a,b",
     "Order=c,d"}, "Write back Order=c,d in " U "Typed, in place of a,b?", "multi:c,d"},
    {U "Sub\\KTx.exe|Debugger", "sz:C:\\dbg.exe", {U "Sub\\KTx.exe|Other", "sz:y"}, {"KT Typed", EVENT_NEW,
     "HKCU/" KT "Sub\\KTx.exe", "Debugger=C:\\dbg.exe"},
     "Remove the value Debugger=C:\\dbg.exe from " U "Sub\\KTx.exe?", "-"},
    {U "Approved|App", "bin:030000000000", {}, {"KT Approved", EVENT_CHANGED, "HKCU/" KT "Approved",
     "App=disabled", "App=enabled"}, "Write back App=enabled in " U "Approved, in place of disabled?",
     "bin:020000000000"},
    {U "Winlogon|KTShell", "-", {}, {CATEGORY_WINLOGON, EVENT_DELETED, "KTShell", "explorer.exe"},
     "Make the value KTShell=explorer.exe again in " U "Winlogon, as text (REG_SZ)?", "sz:explorer.exe"},
    {U "Winlogon|KTNum", "dw:1", {}, {CATEGORY_WINLOGON, EVENT_CHANGED, "KTNum", "1", "-1"},
     "Write back KTNum=-1 in " U "Winlogon, in place of 1?", "dw:4294967295"},
    // Refused, and nothing written: the place changed again, or the row does not say enough.
    {U "Run|Again", "sz:C:\\now.exe", {}, {"KT Run", EVENT_NEW, "HKCU/" KT "Run", "Again=C:\\then.exe"},
     "The value Again in " U "Run has changed again since this row: it holds C:\\now.exe now, not "
     "C:\\then.exe. Nothing was changed.", "sz:C:\\now.exe"},
    {U "Run|Gone", "-", {}, {"KT Run", EVENT_CHANGED, "HKCU/" KT "Run", "Gone=b", "Gone=a"},
     "The value Gone is no longer in " U "Run: it was removed after this row. Nothing was changed.", "-"},
    {U "Run|Back", "sz:x", {}, {"KT Run", EVENT_DELETED, "HKCU/" KT "Run", "Back=y"},
     "The value Back is in " U "Run again, holding x. Nothing was changed.", "sz:x"},
    {U "Run|Bin", "bin:4142", {}, {"KT Run", EVENT_CHANGED, "HKCU/" KT "Run", "Bin=AB", "Bin=CD"},
     "Kestrow cannot write Bin=CD back exactly: it does not know all of the value's data. Nothing was "
     "changed.", "bin:4142"},
    {U "Winlogon|KTNum2", "-", {}, {CATEGORY_WINLOGON, EVENT_DELETED, "KTNum2", "0"},
     "Kestrow cannot write KTNum2=0 back exactly: it does not know all of the value's type. Nothing was "
     "changed.", "-"},
    {U "Services\\KTsvc|ImagePath", "sz:C:\\svc.exe", {}, {CATEGORY_SERVICE, EVENT_NEW, "KTsvc", "C:\\svc.exe"},
     "Kestrow cannot undo a service's change: the Services console (services.msc) can stop or disable the "
     "service.", "sz:C:\\svc.exe"},
    {U "Sub\\KTdeny.exe|Debugger", "sz:C:\\dbg.exe", {},
     {"KT Typed", EVENT_NEW, "HKCU/" KT "Sub\\KTdeny.exe", "Debugger=C:\\dbg.exe"},
     "Remove the value Debugger=C:\\dbg.exe from " U "Sub\\KTdeny.exe?", "sz:C:\\dbg.exe", "",
     "Kestrow may not change " U "Sub\\KTdeny.exe: Windows denied it access. Changing the machine's settings, and "
     "All Users' Startup folder, needs administrator rights. Nothing was changed.\n\nTo undo it, exit Kestrow, "
     "start it again as administrator (right-click Kestrow.exe or its Start Menu shortcut, Run as administrator) "
     "and undo the row again."},
    // Scheduled tasks of each route (Wine reads a 2.0 task's triggers and actions as none, and a
    // job's time as 0) and Office folder files; "<job>", "<undo>" and "<kept>" (the previous
    // row's kept file) are filled in.
    {"job:", "job", {}, {CATEGORY_TASKS, EVENT_NEW, "<job>", ";12:00AM;C:\\KTjob.exe"},
     "Remove the scheduled job <job> (;12:00AM;C:\\KTjob.exe)?", "-"},
    {"task:\\KT\\Undo\\One", "task", {}, {CATEGORY_TASKS, EVENT_NEW, "\\KT\\Undo\\One", ";"},
     "Remove the scheduled task \\KT\\Undo\\One (;)?", "-"},
    {"item:KTUndoItem", "item", {}, {CATEGORY_TASKS, EVENT_NEW, "KTUndoItem.job", ";C:\\KT.exe"},
     "Remove the scheduled task KTUndoItem.job (;C:\\KT.exe)?", "-"},
    {"task:\\KT\\Undo\\Two", "task", {}, {CATEGORY_TASKS, EVENT_NEW, "\\KT\\Undo\\Two", ";C:\\KT.exe"},
     "The scheduled task \\KT\\Undo\\Two has changed again since this row: it is ; now, not ;C:\\KT.exe. Nothing "
     "was changed.", "task"},
    {"item:KTUndoGone", "-", {}, {CATEGORY_TASKS, EVENT_NEW, "KTUndoGone.job", ";C:\\KT.exe"},
     "The scheduled task KTUndoGone.job is no longer there: it was removed after this row. Nothing was changed.",
     "-"},
    {"file:" STARTUP "\\KT.lnk", "-", {}, {CATEGORY_AUTOSTART, EVENT_DELETED, "Personal", "KT.lnk"},
     "Kestrow cannot make the Startup file KT.lnk again: it puts back only a file that its Undo moved away, and "
     "<undo> holds none of that name.", "-"},
    {"file:" STARTUP "\\KT.lnk", "file:x", {}, {CATEGORY_AUTOSTART, EVENT_NEW, "Personal", "KT.lnk"},
     "Move the Startup file KT.lnk out of " STARTUP " into <undo>?", "-"},
    {"file:" STARTUP "\\KT.lnk", "-", {}, {CATEGORY_AUTOSTART, EVENT_DELETED, "Personal", "KT.lnk"},
     "Put the Startup file KT.lnk back into " STARTUP " from <kept>?", "file:x"},
    {"file:" OFFICE "\\KT.dotm", "file:x", {}, {CATEGORY_OFFICE_ADDINS, EVENT_NEW, OFFICE, "KT.dotm"},
     "Move the file KT.dotm out of " OFFICE " into <undo>?", "-"},
    {"file:" OFFICE "\\KT.dotm", "-", {}, {CATEGORY_OFFICE_ADDINS, EVENT_DELETED, OFFICE, "KT.dotm"},
     "Put the file KT.dotm back into " OFFICE " from <kept>?", "file:x"},
    {"", "", {}, {CATEGORY_IMAGE_HIJACKS, EVENT_CHANGED, "C:\\KTUndo\\System32\\sethc.exe", "1024 2026-12-07"},
     "Kestrow cannot undo a change of the system program sethc.exe: Windows puts its own files back (sfc "
     "/scannow, as administrator).", ""},
    // clang-format on
};

void WipeTestKeys() {
    RegDeleteTreeA(HKEY_CURRENT_USER, KT);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, KT);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\WOW6432Node\\KestrowTests\\Undo");
    std::error_code ignored;
    for (const char* where : {"task:\\KT", "item:KTUndoItem", "file:C:\\KTUndo"})
        std::filesystem::remove_all(FileOf(where), ignored);
    if (!g_job.empty())
        NetScheduleJobDel(nullptr, std::stoul(g_job), std::stoul(g_job));
}

// Takes away the right to set the key's values.
void DenySetValue(const std::string& where) {
    HKEY hive;
    std::string path, name;
    Split(where, hive, path, name);
    PSECURITY_DESCRIPTOR sd = nullptr;
    CRegistryKey key;
    ASSERT_TRUE(
        ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;0x2;;;WD)(A;;GA;;;WD)", 1, &sd, 0) &&
        key.Open(hive, path, WRITE_DAC) == ERROR_SUCCESS);
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, sd));
    LocalFree(sd);
}
} // namespace

// Each kind of change in each kind of place: asked as the row says it, undone, its state before
// kept as a .reg file that reg import brings back; refused with the reason, and nothing written,
// where the place changed again or the row cannot say what to write.
TEST(Undo, EachChangeIsUndoneWhereItsPlaceHoldsWhatTheRowSaysAndTheRegFileKeptBringsItBack) {
    WipeTestKeys();
    RunCommand("net.exe start schedule"); // the 2.0 tasks and the jobs need it; it may be running already
    CComApartment com;
    CTempDir undo;
    const KnownPlaces places = TestPlaces(STARTUP);
    SYSTEMTIME now{2026, 12, 1, 7, 17, 30, 0, 0};
    std::string kept;
    for (const UndoCase& c : kCases) {
        auto fill = [&](std::string text) {
            for (auto [mark, by] : {std::pair{"<job>", g_job}, {"<undo>", undo.path}, {"<kept>", kept}})
                if (size_t at = text.find(mark); at != std::string::npos)
                    text.replace(at, std::strlen(mark), by);
            return text;
        };
        SCOPED_TRACE(c.row.details);
        Put(c.where, c.before);
        if (!c.beside.first.empty())
            Put(c.beside.first, c.beside.second);
        if (!c.fails.empty())
            DenySetValue(c.where);
        EventTexts row = c.row;
        row.location = fill(row.location);
        UndoPlan plan = PlanUndo(row, places, undo.path);
        EXPECT_EQ(fill(c.says), plan.text.substr(0, plan.text.find("\n\n")));
        ++now.wSecond;
        std::string failure = CarryOut(plan, undo.path, now);
        EXPECT_EQ(plan.possible ? c.fails : plan.text, failure);
        EXPECT_EQ(c.after, State(c.where));
        if (!c.beside.first.empty()) {
            EXPECT_EQ(c.beside.second, State(c.beside.first)) << "another value was written";
        }
        kept = undo.path + KeptName(now, plan);
        ASSERT_EQ(failure.empty() && plan.keptFile.empty(), std::filesystem::exists(kept)) << kept;
        const std::string bytes = ReadFileBytes(kept);
        if (!c.regFile.empty()) {
            EXPECT_EQ(L"\xFEFF" + Utf8ToWide(c.regFile),
                      std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2));
        }
        if (DWORD code = bytes.empty() ? kCannot : Restore(kept, c.where); code != kCannot) {
            EXPECT_EQ(0u, code);
            EXPECT_EQ(c.before, State(c.where)) << "what was kept did not bring back the state before";
        }
    }
    WipeTestKeys();
}

// A value that changes while the user is asked is left alone, and nothing is kept.
TEST(Undo, AValueChangedWhileTheUserIsAskedIsLeftAlone) {
    WipeTestKeys();
    CTempDir undo;
    const KnownPlaces places = TestPlaces(STARTUP);
    const SYSTEMTIME now{2026, 12, 1, 7, 17, 30, 5, 0};
    Put(U "Run|Race", "sz:a");
    UndoPlan plan = PlanUndo({"KT Run", EVENT_NEW, "HKCU/" KT "Run", "Race=a"}, places, undo.path);
    ASSERT_TRUE(plan.possible);
    Put(U "Run|Race", "sz:b");
    EXPECT_EQ("The value Race in " U "Run changed while you were asked. Nothing was changed.",
              CarryOut(plan, undo.path, now));
    EXPECT_EQ("sz:b", State(U "Run|Race"));
    EXPECT_TRUE(std::filesystem::is_empty(undo.path)) << "a .reg file of a change that did not happen";
    WipeTestKeys();
}
