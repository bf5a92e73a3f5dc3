#include "COMMonitor.h"
#include "DefaultValue.h"

const RegistryWatchSettings g_comWatchSettings = {
    HKEY_CLASSES_ROOT, "HKCR", "CLSID", FALSE, REG_NOTIFY_CHANGE_NAME, ReadCOMClasses, nullptr, true,
};

std::string COMDetails(const std::string& className, const std::string& inproc, const std::string& local) {
    if (inproc.empty() && local.empty())
        return std::string();
    std::string text;
    if (!className.empty())
        text += "COM=" + className + ";";
    if (!inproc.empty())
        text += "Inproc=" + inproc + ";";
    if (!local.empty())
        text += "Local=" + local + " ";
    char details[1024];
    CopyCut(details, text.c_str());
    return details;
}

void ReadCOMClasses(HKEY clsidKey, const RegistryWatchSettings&, const ItemVisitor& visit) {
    char name[kMaxNameChars];
    for (DWORD i = 0; EnumSubkey(clsidKey, i, name) == ERROR_SUCCESS; ++i) {
        HKEY classKey;
        // Read-only, so that a class removed meanwhile is simply no item.
        if (::RegOpenKeyExA(clsidKey, name, 0, KEY_READ, &classKey) != ERROR_SUCCESS)
            continue;
        std::string className = ReadDefaultText(classKey);
        std::string inproc = ReadDefaultText(classKey, "InprocServer32");
        std::string local = ReadDefaultText(classKey, "LocalServer32");
        ::RegCloseKey(classKey);
        std::string details = COMDetails(className, inproc, local);
        if (!details.empty())
            visit(name, details);
    }
}

UINT MonitorCOMProc(LPVOID param) {
    return RunRegistryMonitor(static_cast<IMonitorHost*>(param), "MonitorCOMProc", g_comWatchSettings,
                              &IMonitorHost::ReportCOMEvent, "MonitorCOMProc: Failed to wait (%d)");
}
