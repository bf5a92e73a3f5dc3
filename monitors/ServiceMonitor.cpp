#include "ServiceMonitor.h"
#include "RegistryWatch.h"

namespace {
const char kServicesPath[] = "System\\CurrentControlSet\\Services";

std::string ImagePathText(CRegistryKey& service) {
    return service.ReadString("ImagePath").str();
}

// Only service keys coming and going notify: a rewritten ImagePath shows at the next of those.
const RegistryWatchSettings kServices{
    HKEY_LOCAL_MACHINE, "HKLM", kServicesPath, FALSE, REG_NOTIFY_CHANGE_NAME, ReadSubkeyTexts, ImagePathText,
};

bool IsTextType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}
} // namespace

UINT MonitorServiceProc(LPVOID param) {
    return RunRegistryMonitor(static_cast<IMonitorHost*>(param), "MonitorServiceProc", kServices,
                              &IMonitorHost::ReportServiceEvent, "MonitorServiceProc: Failed to wait (%d)");
}

void CleanEmptyImagePaths() {
    HKEY services = nullptr;
    try {
        if (::RegOpenKeyA(HKEY_LOCAL_MACHINE, kServicesPath, &services) != ERROR_SUCCESS) {
            services = nullptr;
            return;
        }
        char name[512];
        for (DWORD i = 0; ::RegEnumKeyA(services, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
            CRegistryKey service(HKEY_LOCAL_MACHINE, (std::string(kServicesPath) + "\\" + name).c_str());
            if (!service.IsOpen())
                continue;
            BYTE data[260];
            DWORD size = sizeof data;
            DWORD type = REG_NONE;
            if (::RegQueryValueExA(service.m_hKey, "ImagePath", nullptr, &type, data, &size) != ERROR_SUCCESS)
                continue; // missing, too long or unreadable: left alone
            // Empty means no data, or a text that ends at once. A number or binary value whose
            // first byte happens to be zero is not empty and stays.
            if (size == 0 || (IsTextType(type) && data[0] == 0))
                service.DeleteValue("ImagePath");
        }
    } catch (...) {
    }
    if (services)
        ::RegCloseKey(services);
}
