// Every registry place Kestrow watches, one row each.
#include "COMMonitor.h"
#include "Places.h"
#include <cstring>

namespace {
#define CV "Software\\Microsoft\\Windows\\CurrentVersion\\"
#define NT "Software\\Microsoft\\Windows NT\\CurrentVersion\\"
#define CCS "SYSTEM\\CurrentControlSet\\"
#define CONTROL CCS "Control\\"
#define CLASSES "Software\\Classes\\"
// Auto Run's first five rows keep their data as its bytes, as they always have; later rows
// give data by its type.
const std::vector<RegistryPlace> kRegistryPlaces = {
    {CATEGORY_AUTORUN, "HKLM\\" CV "Run", ReadValueTexts, nullptr, kBothViews},
    {CATEGORY_AUTORUN, "HKLM\\" CV "RunOnce", ReadValueTexts, nullptr, kBothViews},
    {CATEGORY_AUTORUN, "HKLM\\" CV "RunOnceEx", ReadValueTexts, nullptr, kBothViews},
    {CATEGORY_AUTORUN, "HKCU\\" CV "Run", ReadValueTexts},
    {CATEGORY_AUTORUN, "HKCU\\" CV "RunOnce", ReadValueTexts},
    {CATEGORY_AUTORUN, "HKCU\\" CV "RunOnceEx", ReadValues},
    {CATEGORY_AUTORUN, "HKLM\\" CV "RunOnceEx\\*", ReadValues, nullptr, kBothViews},
    {CATEGORY_AUTORUN, "HKCU\\" CV "RunOnceEx\\*", ReadValues},
    {CATEGORY_AUTORUN, "HKLM\\" CV "RunOnceEx\\*\\Depend", ReadValues, nullptr, kBothViews},
    {CATEGORY_AUTORUN, "HKCU\\" CV "RunOnceEx\\*\\Depend", ReadValues},
    {CATEGORY_AUTORUN, "HKLM\\" CV "Policies\\Explorer\\Run", ReadValues, nullptr, kBothViews},
    {CATEGORY_AUTORUN, "HKCU\\" CV "Policies\\Explorer\\Run", ReadValues},
    {CATEGORY_AUTORUN, "HKLM\\" NT "Terminal Server\\Install\\" CV "Run", ReadValues, nullptr, kBothViews},
    {CATEGORY_AUTORUN, "HKLM\\" NT "Terminal Server\\Install\\" CV "RunOnce", ReadValues, nullptr,
     kBothViews},
    {CATEGORY_AUTORUN, "HKLM\\" NT "Terminal Server\\Install\\" CV "RunOnceEx", ReadValues, nullptr,
     kBothViews},
    {CATEGORY_AUTORUN, "HKCU\\" NT "Windows", ReadValues, "Load|Run"},

    // The Startup folders' paths; the Startup monitor reads them in this order to follow a move.
    {CATEGORY_AUTOSTART, "HKCU\\" CV "Explorer\\User Shell Folders", ReadValues, "Startup"},
    {CATEGORY_AUTOSTART, "HKCU\\" CV "Explorer\\Shell Folders", ReadValues, "Startup"},
    {CATEGORY_AUTOSTART, "HKLM\\" CV "Explorer\\User Shell Folders", ReadValues, "Common Startup",
     kBothViews},
    {CATEGORY_AUTOSTART, "HKLM\\" CV "Explorer\\Shell Folders", ReadValues, "Common Startup", kBothViews},

    {CATEGORY_STARTUP_APPROVED, "HKLM\\" CV "Explorer\\StartupApproved\\Run", ReadApprovals, nullptr,
     kBothViews},
    {CATEGORY_STARTUP_APPROVED, "HKLM\\" CV "Explorer\\StartupApproved\\Run32", ReadApprovals, nullptr,
     kBothViews},
    {CATEGORY_STARTUP_APPROVED, "HKLM\\" CV "Explorer\\StartupApproved\\StartupFolder", ReadApprovals,
     nullptr, kBothViews},
    {CATEGORY_STARTUP_APPROVED, "HKCU\\" CV "Explorer\\StartupApproved\\Run", ReadApprovals},
    {CATEGORY_STARTUP_APPROVED, "HKCU\\" CV "Explorer\\StartupApproved\\Run32", ReadApprovals},
    {CATEGORY_STARTUP_APPROVED, "HKCU\\" CV "Explorer\\StartupApproved\\StartupFolder", ReadApprovals},

    {CATEGORY_SERVICE, "HKLM\\System\\CurrentControlSet\\Services", ReadSubkeyTexts, "ImagePath",
     kSubtree | kItemNamed},
    {CATEGORY_SERVICE, "HKLM\\" NT "SvcHost", ReadValues, nullptr, kBothViews},
    {CATEGORY_SERVICE, "HKLM\\System\\CurrentControlSet\\Services\\*\\Parameters", ReadValues, "ServiceDll"},
    {CATEGORY_SERVICE, "HKLM\\System\\CurrentControlSet\\Services\\W32Time\\TimeProviders\\*", ReadValues,
     "DllName"},

    {CATEGORY_INSTALLS, "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", ReadProducts,
     nullptr, kBothViews | kSubtree | kItemNamed},
    {CATEGORY_INSTALLS, "HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", ReadProducts,
     nullptr, kSubtree | kItemNamed | kMarkUser},

    {CATEGORY_COM, "HKCR\\CLSID", ReadCOMClasses, nullptr, kBothViews | kSubtree | kReadAhead | kItemNamed},
    {CATEGORY_COM, "HKCU\\Software\\Classes\\CLSID", ReadCOMClasses, nullptr,
     kSubtree | kReadAhead | kItemNamed | kMarkUser},

    // Besides the file association reader: the user's own extensions and classes, the open commands
    // of the programs' own classes, and the verbs of the context menus of every file and folder.
    {CATEGORY_FILEASSOC, "HKCU\\" CLASSES ".*", ReadValues, ""},
    {CATEGORY_FILEASSOC, "HKCU\\" CLASSES "*\\shell\\*\\command", ReadValues, ""},
    {CATEGORY_FILEASSOC, "HKCU\\" CLASSES "Directory\\Background\\shell\\*\\command", ReadValues, ""},
    {CATEGORY_FILEASSOC, "HKLM\\" CLASSES "exefile\\shell\\open\\command", ReadValues, ""},
    {CATEGORY_FILEASSOC, "HKLM\\" CLASSES "batfile\\shell\\open\\command", ReadValues, ""},
    {CATEGORY_FILEASSOC, "HKLM\\" CLASSES "cmdfile\\shell\\open\\command", ReadValues, ""},
    {CATEGORY_FILEASSOC, "HKLM\\" CLASSES "comfile\\shell\\open\\command", ReadValues, ""},
    {CATEGORY_FILEASSOC, "HKLM\\" CLASSES "htafile\\shell\\open\\command", ReadValues, ""},
    {CATEGORY_FILEASSOC, "HKLM\\" CLASSES "mscfile\\shell\\open\\command", ReadValues, ""},
    {CATEGORY_FILEASSOC, "HKLM\\" CLASSES "scrfile\\shell\\open\\command", ReadValues, ""},
    {CATEGORY_FILEASSOC, "HKLM\\" CLASSES "[*]\\shell\\*\\command", ReadValues, ""},
    {CATEGORY_FILEASSOC, "HKLM\\" CLASSES "Directory\\shell\\*\\command", ReadValues, ""},
    {CATEGORY_FILEASSOC, "HKLM\\" CLASSES "Directory\\Background\\shell\\*\\command", ReadValues, ""},
    {CATEGORY_FILEASSOC, "HKLM\\" CLASSES "Folder\\shell\\*\\command", ReadValues, ""},
    {CATEGORY_FILEASSOC, "HKLM\\" CLASSES "Drive\\shell\\*\\command", ReadValues, ""},

    {CATEGORY_WINLOGON, "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", ReadWinlogonValues,
     nullptr, kItemNamed},
    {CATEGORY_WINLOGON, "HKCU\\" NT "Winlogon", ReadValues, "Shell|Userinit|Taskman|AppSetup|VmApplet"},
    {CATEGORY_WINLOGON, "HKLM\\" NT "Winlogon\\Notify\\*", ReadValues, "DllName", kBothViews},
    {CATEGORY_WINLOGON, "HKLM\\" NT "Winlogon\\GPExtensions\\*", ReadValues, "DllName", kBothViews},
    {CATEGORY_WINLOGON, "HKLM\\" CONTROL "SafeBoot", ReadValues, "AlternateShell"},

    {CATEGORY_SHARES, "HKCU\\Network", ReadSubkeyTexts, "RemotePath", kSubtree | kItemNamed},

    {CATEGORY_BOOT_EXECUTE, "HKLM\\" CONTROL "Session Manager", ReadValues,
     "BootExecute|SetupExecute|Execute|S0InitialCommand"},
    {CATEGORY_BOOT_EXECUTE, "HKLM\\SYSTEM\\Setup", ReadValues, "CmdLine"},
    {CATEGORY_BOOT_EXECUTE, "HKLM\\" CONTROL "BootVerificationProgram", ReadValues, "ImagePath"},

    {CATEGORY_IMAGE_HIJACKS, "HKLM\\" NT "Image File Execution Options\\*", ReadValues,
     "Debugger|GlobalFlag|VerifierDlls", kBothViews},
    {CATEGORY_IMAGE_HIJACKS, "HKLM\\" NT "Accessibility\\ATs\\*", ReadValues, "StartExe|ATExe|", kBothViews},
    {CATEGORY_IMAGE_HIJACKS, "HKLM\\" NT "SilentProcessExit\\*", ReadValues, "MonitorProcess|ReportingMode",
     kBothViews},
    {CATEGORY_IMAGE_HIJACKS, "HKLM\\Software\\Microsoft\\Command Processor", ReadValues, "AutoRun",
     kBothViews},
    {CATEGORY_IMAGE_HIJACKS, "HKCU\\Software\\Microsoft\\Command Processor", ReadValues, "AutoRun"},
    {CATEGORY_IMAGE_HIJACKS, "HKLM\\" NT "AeDebug", ReadValues, "Debugger", kBothViews},
    {CATEGORY_IMAGE_HIJACKS, "HKLM\\" CV "App Paths\\*", ReadValues, "|Path", kBothViews},
    {CATEGORY_IMAGE_HIJACKS, "HKLM\\" CV "Explorer\\MyComputer\\*", ReadValues, "", kBothViews},
    {CATEGORY_IMAGE_HIJACKS, "HKLM\\" NT "AppCompatFlags\\TelemetryController\\*", ReadValues, "Command",
     kBothViews},
    {CATEGORY_IMAGE_HIJACKS, "HKLM\\Software\\Microsoft\\Windows\\Windows Error Reporting\\Hangs", ReadValues,
     "Debugger", kBothViews},

    {CATEGORY_APPINIT, "HKLM\\" NT "Windows", ReadValues, "AppInit_DLLs|LoadAppInit_DLLs", kBothViews},
    {CATEGORY_APPINIT, "HKLM\\" CONTROL "Session Manager\\AppCertDlls", ReadValues},
    {CATEGORY_APPINIT, "HKLM\\" CONTROL "Session Manager\\KnownDLLs", ReadValues},
    {CATEGORY_APPINIT, "HKLM\\" NT "AppCompatFlags\\Custom\\*", ReadValues, nullptr, kBothViews},
    {CATEGORY_APPINIT, "HKLM\\" NT "AppCompatFlags\\InstalledSDB\\*", ReadValues, nullptr, kBothViews},
    {CATEGORY_APPINIT, "HKCU\\Environment", ReadValues,
     "COR_PROFILER|COR_PROFILER_PATH|COR_ENABLE_PROFILING"},
    {CATEGORY_APPINIT, "HKLM\\" CONTROL "Session Manager\\Environment", ReadValues,
     "COR_PROFILER|COR_PROFILER_PATH|COR_ENABLE_PROFILING"},

    {CATEGORY_LSA, "HKLM\\" CONTROL "Lsa", ReadValues,
     "Authentication Packages|Notification Packages|Security Packages"},
    {CATEGORY_LSA, "HKLM\\" CONTROL "Lsa\\OSConfig", ReadValues,
     "Authentication Packages|Notification Packages|Security Packages"},
    {CATEGORY_LSA, "HKLM\\" CONTROL "SecurityProviders", ReadValues, "SecurityProviders"},

    {CATEGORY_PRINT_MONITORS, "HKLM\\" CONTROL "Print\\Monitors\\*", ReadValues, "Driver"},
    {CATEGORY_PRINT_MONITORS, "HKLM\\" CONTROL "Print\\Environments\\*\\Print Processors\\*", ReadValues,
     "Driver"},

    {CATEGORY_NETWORK_PROVIDERS, "HKLM\\Software\\Microsoft\\NetSh", ReadValues, nullptr, kBothViews},
    {CATEGORY_NETWORK_PROVIDERS, "HKLM\\" CONTROL "NetworkProvider\\Order", ReadValues, "ProviderOrder"},
    {CATEGORY_NETWORK_PROVIDERS, "HKLM\\" CCS "Services\\WinSock2\\Parameters", ReadValues, "AutodialDLL"},
    {CATEGORY_NETWORK_PROVIDERS,
     "HKLM\\" CCS "Services\\WinSock2\\Parameters\\NameSpace_Catalog5\\Catalog_Entries*\\*", ReadValues,
     "LibraryPath"},

    {CATEGORY_ACTIVE_SETUP, "HKLM\\Software\\Microsoft\\Active Setup\\Installed Components\\*", ReadValues,
     "StubPath", kBothViews},
    {CATEGORY_ACTIVE_SETUP, "HKCU\\Software\\Microsoft\\Active Setup\\Installed Components\\*", ReadValues,
     "Version"},

    {CATEGORY_LOGON_SCRIPTS, "HKCU\\Environment", ReadValues, "UserInitMprLogonScript"},
    {CATEGORY_LOGON_SCRIPTS, "HKLM\\" CV "Group Policy\\Scripts\\*\\*\\*", ReadValues, "Script|Parameters",
     kBothViews},
    {CATEGORY_LOGON_SCRIPTS, "HKCU\\" CV "Group Policy\\Scripts\\*\\*\\*", ReadValues, "Script|Parameters"},

    {CATEGORY_EXPLORER_ADDONS, "HKLM\\" CV "ShellServiceObjectDelayLoad", ReadValues, nullptr, kBothViews},
    {CATEGORY_EXPLORER_ADDONS, "HKLM\\" CV "Explorer\\ShellServiceObjects\\*", ReadValues, "", kBothViews},
    {CATEGORY_EXPLORER_ADDONS, "HKLM\\" CV "Explorer\\SharedTaskScheduler", ReadValues, nullptr, kBothViews},
    {CATEGORY_EXPLORER_ADDONS, "HKLM\\" CV "Explorer\\ShellIconOverlayIdentifiers\\*", ReadValues, "",
     kBothViews},
    {CATEGORY_EXPLORER_ADDONS, "HKLM\\" CV "Explorer\\Browser Helper Objects\\*", ReadValues, "", kBothViews},
    {CATEGORY_EXPLORER_ADDONS, "HKLM\\" CV "Explorer\\ShellExecuteHooks", ReadValues, nullptr, kBothViews},

    {CATEGORY_SCREENSAVER, "HKCU\\Control Panel\\Desktop", ReadValues, "SCRNSAVE.EXE"},

    {CATEGORY_OFFICE_ADDINS, "HKCU\\Software\\Microsoft\\Office test\\Special\\Perf", ReadValues, ""},
    {CATEGORY_OFFICE_ADDINS, "HKLM\\Software\\Microsoft\\Office\\*\\Addins\\*", ReadValues,
     "Manifest|LoadBehavior", kBothViews},
    {CATEGORY_OFFICE_ADDINS, "HKCU\\Software\\Microsoft\\Office\\*\\Addins\\*", ReadValues,
     "Manifest|LoadBehavior"},
    {CATEGORY_OFFICE_ADDINS, "HKLM\\Software\\Microsoft\\Office\\*\\*\\Addins\\*", ReadValues,
     "Manifest|LoadBehavior", kBothViews},
    {CATEGORY_OFFICE_ADDINS, "HKCU\\Software\\Microsoft\\Office\\*\\*\\Addins\\*", ReadValues,
     "Manifest|LoadBehavior"},
    {CATEGORY_OFFICE_ADDINS, "HKCU\\Software\\Microsoft\\Office\\*\\Outlook\\WebView\\*", ReadValues, "URL"},
    {CATEGORY_OFFICE_ADDINS, "HKCU\\Software\\Microsoft\\Office\\*\\Word\\Options", ReadValues,
     "STARTUP-PATH"},

    {CATEGORY_TERMINAL_SERVER, "HKLM\\" CONTROL "Terminal Server\\WinStations\\*", ReadValues,
     "InitialProgram"},
    {CATEGORY_TERMINAL_SERVER, "HKLM\\" CONTROL "Terminal Server\\Wds\\rdpwd", ReadValues, "StartupPrograms"},
    {CATEGORY_TERMINAL_SERVER, "HKLM\\" CONTROL "Terminal Server\\AddIns\\*", ReadValues, "Path"},
    {CATEGORY_TERMINAL_SERVER, "HKLM\\Software\\Microsoft\\Terminal Server Client", ReadValues, "ClxDllPath",
     kBothViews},
    {CATEGORY_TERMINAL_SERVER, "HKCU\\Software\\Microsoft\\Terminal Server Client", ReadValues, "ClxDllPath"},
    {CATEGORY_TERMINAL_SERVER, "HKLM\\Software\\Microsoft\\Terminal Server Client\\Default\\Addins\\*",
     ReadValues, "Name", kBothViews},
    {CATEGORY_TERMINAL_SERVER, "HKCU\\Software\\Microsoft\\Terminal Server Client\\Default\\Addins\\*",
     ReadValues, "Name"},

    {CATEGORY_SAFE_BOOT, "HKLM\\" CONTROL "SafeBoot\\Minimal\\*", ReadValues, ""},
    {CATEGORY_SAFE_BOOT, "HKLM\\" CONTROL "SafeBoot\\Network\\*", ReadValues, ""},
};

} // namespace

const std::vector<RegistryPlace>& RegistryPlaces() {
    return kRegistryPlaces;
}

std::vector<RegistryWatchSettings> RegistryPlacesOf(const char* category) {
    std::vector<RegistryWatchSettings> watches;
    for (const RegistryPlace& place : kRegistryPlaces)
        if (std::strcmp(place.category, category) == 0)
            for (RegistryWatchSettings& view : PlaceViews(place))
                watches.push_back(std::move(view));
    return watches;
}
