// Undoing a row's change, planned and carried out for real on scratch keys and folders: places
// of the test's own that read as the program's do, in both registry views; the .reg file kept
// first is read back and imported with reg.exe.
#include "TestSupport.h"
#include "app/Undo.h"
#include <gtest/gtest.h>

namespace {
#define KT "Software\\KestrowTests\\Undo\\"
#define U "HKCU\\" KT
#define W32 "HKLM\\Software\\WOW6432Node\\KestrowTests\\Undo\\"

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
        {startupFolder, ""}};
}

// "HKCU|HKLM\path|name" ("" the default value).
void Split(const std::string& where, HKEY& hive, std::string& path, std::string& name) {
    hive = where[3] == 'M' ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    path = where.substr(5, where.find('|') - 5);
    name = where.substr(where.find('|') + 1);
}

// A value's state as "sz:text", "dw:5", "bin:0300", "multi:a,b", or "-" when it is missing.
std::string State(const std::string& where) {
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

DWORD RegImport(const std::string& file) {
    std::string command = "reg.exe import \"" + file + "\"";
    STARTUPINFOA si{sizeof si};
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return GetLastError();
    CHandle process(pi.hProcess), thread(pi.hThread);
    DWORD code = 1;
    WaitForSingleObject(process.Get(), INFINITE);
    GetExitCodeProcess(process.Get(), &code);
    return code;
}

struct UndoCase {
    std::string where, before;
    std::pair<std::string, std::string> beside; // another value, which must stay as it is
    EventTexts row;
    std::string says, after;
    std::string regFile; // when given, the .reg file kept, whole
};
const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const UndoCase kCases[] = {
    {U "Run|Updater",
     "sz:C:\\Tools\\upd.exe",
     {},
     {"KT Run", EVENT_NEW, "HKCU/" KT "Run", "Updater=C:\\Tools\\upd.exe"},
     "Remove the value Updater=C:\\Tools\\upd.exe from " U "Run?",
     "-",
     kHeader + "[HKEY_CURRENT_USER\\" KT "Run]\r\n\"Updater\"=\"C:\\\\Tools\\\\upd.exe\"\r\n\r\n"},
    {"HKLM\\" KT "Run|Upd",
     "sz:C:\\new.exe",
     {},
     {"KT Run", EVENT_CHANGED, "HKLM/" KT "Run", "Upd=C:\\new.exe", "Upd=C:\\old.exe"},
     "Write back Upd=C:\\old.exe in HKLM\\" KT "Run, in place of C:\\new.exe?",
     "sz:C:\\old.exe"},
    {W32 "Run|Upd32",
     "-",
     {"HKLM\\" KT "Run|Upd32", "-"},
     {"KT Run", EVENT_DELETED, "HKLM/Software\\WOW6432Node\\KestrowTests\\Undo\\Run",
      "Upd32=C:\\x86\\a \"q\".exe"},
     "Make the value Upd32=C:\\x86\\a \"q\".exe again in " W32 "Run, as text (REG_SZ)?",
     "sz:C:\\x86\\a \"q\".exe",
     kHeader + "[HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\KestrowTests\\Undo\\Run]\r\n\"Upd32\"=-\r\n\r\n"},
    {U "Typed|",
     "sz:C:\\def.exe",
     {},
     {"KT Typed", EVENT_NEW, "HKCU/" KT "Typed", "(Default)=C:\\def.exe"},
     "Remove the value (Default)=C:\\def.exe from " U "Typed?",
     "-",
     kHeader + "[HKEY_CURRENT_USER\\" KT "Typed]\r\n@=\"C:\\\\def.exe\"\r\n\r\n"},
    {U "Typed|a=b",
     "sz:c=d",
     {U "Typed|a", "sz:b=x"},
     {"KT Typed", EVENT_CHANGED, "HKCU/" KT "Typed", "a=b=c=d", "a=b=old"},
     "Write back a=b=old in " U "Typed, in place of c=d?",
     "sz:old"},
    {U "Typed|Count",
     "dw:5",
     {},
     {"KT Typed", EVENT_CHANGED, "HKCU/" KT "Typed", "Count=5", "Count=7"},
     "Write back Count=7 in " U "Typed, in place of 5?",
     "dw:7",
     kHeader + "[HKEY_CURRENT_USER\\" KT "Typed]\r\n\"Count\"=dword:00000005\r\n\r\n"},
    {U "Typed|Order",
     "multi:a,b",
     {},
     {"KT Typed", EVENT_CHANGED, "HKCU/" KT "Typed", "Order=a,b", "Order=c,d"},
     "Write back Order=c,d in " U "Typed, in place of a,b?",
     "multi:c,d"},
    {U "Sub\\KTx.exe|Debugger",
     "sz:C:\\dbg.exe",
     {U "Sub\\KTx.exe|Other", "sz:y"},
     {"KT Typed", EVENT_NEW, "HKCU/" KT "Sub\\KTx.exe", "Debugger=C:\\dbg.exe"},
     "Remove the value Debugger=C:\\dbg.exe from " U "Sub\\KTx.exe?",
     "-"},
    {U "Approved|App",
     "bin:030000000000",
     {},
     {"KT Approved", EVENT_CHANGED, "HKCU/" KT "Approved", "App=disabled", "App=enabled"},
     "Write back App=enabled in " U "Approved, in place of disabled?",
     "bin:020000000000"},
    {U "Winlogon|KTShell",
     "-",
     {},
     {CATEGORY_WINLOGON, EVENT_DELETED, "KTShell", "explorer.exe"},
     "Make the value KTShell=explorer.exe again in " U "Winlogon, as text (REG_SZ)?",
     "sz:explorer.exe"},
    {U "Winlogon|KTNum",
     "dw:1",
     {},
     {CATEGORY_WINLOGON, EVENT_CHANGED, "KTNum", "1", "-1"},
     "Write back KTNum=-1 in " U "Winlogon, in place of 1?",
     "dw:4294967295"},
    // Refused, and nothing written: the place changed again, or the row does not say enough.
    {U "Run|Again",
     "sz:C:\\now.exe",
     {},
     {"KT Run", EVENT_NEW, "HKCU/" KT "Run", "Again=C:\\then.exe"},
     "The value Again in " U
     "Run has changed again since this row: it holds C:\\now.exe now, not C:\\then.exe. "
     "Nothing was changed.",
     "sz:C:\\now.exe"},
    {U "Run|Gone",
     "-",
     {},
     {"KT Run", EVENT_CHANGED, "HKCU/" KT "Run", "Gone=b", "Gone=a"},
     "The value Gone is no longer in " U "Run: it was removed after this row. Nothing was changed.",
     "-"},
    {U "Run|Back",
     "sz:x",
     {},
     {"KT Run", EVENT_DELETED, "HKCU/" KT "Run", "Back=y"},
     "The value Back is in " U "Run again, holding x. Nothing was changed.",
     "sz:x"},
    {U "Run|Bin",
     "bin:4142",
     {},
     {"KT Run", EVENT_CHANGED, "HKCU/" KT "Run", "Bin=AB", "Bin=CD"},
     "Kestrow cannot write Bin=CD back exactly: it does not know all of the value's data. Nothing was "
     "changed.",
     "bin:4142"},
    {U "Winlogon|KTNum2",
     "-",
     {},
     {CATEGORY_WINLOGON, EVENT_DELETED, "KTNum2", "0"},
     "Kestrow cannot write KTNum2=0 back exactly: it does not know all of the value's type. Nothing was "
     "changed.",
     "-"},
    {U "Services\\KTsvc|ImagePath",
     "sz:C:\\svc.exe",
     {},
     {CATEGORY_SERVICE, EVENT_NEW, "KTsvc", "C:\\svc.exe"},
     "Kestrow cannot undo a service's change: the Services console (services.msc) can stop or disable the "
     "service.",
     "sz:C:\\svc.exe"},
};

void WipeTestKeys() {
    RegDeleteTreeA(HKEY_CURRENT_USER, KT);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, KT);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\WOW6432Node\\KestrowTests\\Undo");
}
} // namespace

// Each kind of change in each kind of place: asked as the row says it, undone, its state before
// kept as a .reg file that reg import brings back; refused with the reason, and nothing written,
// where the place changed again or the row cannot say what to write.
TEST(Undo, EachChangeIsUndoneWhereItsPlaceHoldsWhatTheRowSaysAndTheRegFileKeptBringsItBack) {
    WipeTestKeys();
    CTempDir startup, undo;
    const KnownPlaces places = TestPlaces(startup.path);
    SYSTEMTIME now{2026, 12, 1, 7, 17, 30, 0, 0};
    for (const UndoCase& c : kCases) {
        SCOPED_TRACE(c.row.details);
        Put(c.where, c.before);
        if (!c.beside.first.empty())
            Put(c.beside.first, c.beside.second);
        UndoPlan plan = PlanUndo(c.row, places, undo.path);
        EXPECT_EQ(c.says, plan.text.substr(0, plan.text.find("\n\n")));
        ++now.wSecond;
        std::string failure = CarryOut(plan, undo.path, now);
        EXPECT_EQ(plan.possible, failure.empty()) << failure;
        EXPECT_EQ(c.after, State(c.where));
        if (!c.beside.first.empty())
            EXPECT_EQ(c.beside.second, State(c.beside.first)) << "another value was written";
        const std::string kept = undo.path + KeptName(now, c.row);
        ASSERT_EQ(plan.possible, std::filesystem::exists(kept)) << kept;
        const std::string bytes = ReadFileBytes(kept);
        if (!c.regFile.empty())
            EXPECT_EQ(L"\xFEFF" + Utf8ToWide(c.regFile),
                      std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2));
        if (plan.possible) {
            EXPECT_EQ(0u, RegImport(kept));
            EXPECT_EQ(c.before, State(c.where)) << "reg import did not bring back the state before";
        }
    }
    WipeTestKeys();
}

// A Startup file that Undo moved away is put back from there, and only such a file; a value that
// changes while the user is asked is left alone.
TEST(Undo, AStartupFileMovedAwayIsPutBackAndAValueChangedMeanwhileIsLeftAlone) {
    WipeTestKeys();
    CTempDir startup, undo;
    const std::string folder = startup.path.substr(0, startup.path.size() - 1),
                      file = startup.path + "KT.lnk";
    const KnownPlaces places = TestPlaces(folder);
    const SYSTEMTIME now{2026, 12, 1, 7, 17, 30, 5, 0};
    std::ofstream(file) << "x";
    EventTexts added{CATEGORY_AUTOSTART, EVENT_NEW, "Personal", "KT.lnk"}, deleted = added;
    deleted.kind = EVENT_DELETED;

    UndoPlan plan = PlanUndo(added, places, undo.path);
    EXPECT_EQ("Move the Startup file KT.lnk out of " + folder + " into " + undo.path + "?",
              plan.text.substr(0, plan.text.find("\n\n")));
    EXPECT_EQ("", CarryOut(plan, undo.path, now));
    const std::string kept = undo.path + "2026-12-07 17-30-05 Auto Start Personal KT.lnk";
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ("x", ReadFileBytes(kept));

    plan = PlanUndo(deleted, places, undo.path);
    EXPECT_EQ("Put the Startup file KT.lnk back into " + folder + " from " + kept + "?", plan.text);
    EXPECT_EQ("", CarryOut(plan, undo.path, now));
    EXPECT_EQ("x", ReadFileBytes(file));
    EXPECT_FALSE(std::filesystem::exists(kept));

    std::filesystem::remove(file);
    EXPECT_EQ(
        "Kestrow cannot make the Startup file KT.lnk again: it puts back only a file that its Undo moved "
        "away, and " +
            undo.path + " holds none of that name.",
        PlanUndo(deleted, places, undo.path).text);

    Put(U "Run|Race", "sz:a");
    plan = PlanUndo({"KT Run", EVENT_NEW, "HKCU/" KT "Run", "Race=a"}, places, undo.path);
    ASSERT_TRUE(plan.possible);
    Put(U "Run|Race", "sz:b");
    EXPECT_EQ("The value Race in " U "Run changed while you were asked. Nothing was changed.",
              CarryOut(plan, undo.path, now));
    EXPECT_EQ("sz:b", State(U "Run|Race"));
    EXPECT_TRUE(std::filesystem::is_empty(undo.path)) << "a .reg file of a change that did not happen";
    WipeTestKeys();
}
