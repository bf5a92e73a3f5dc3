#include "ServiceMonitor.h"
#include "../engine/RegistrySource.h"

namespace {
const char kServicesPath[] = "System\\CurrentControlSet\\Services";

std::string ImagePathText(const CRegistryKey& service) {
    return service.ReadText("ImagePath");
}

// The whole subtree, so that a rewritten ImagePath is seen one settle after the write; a burst
// of writes below costs one reading per settle.
const RegistryWatchSettings kServices{.category = CATEGORY_SERVICE,
                                      .hive = HKEY_LOCAL_MACHINE,
                                      .hiveName = "HKLM",
                                      .path = kServicesPath,
                                      .subtree = true,
                                      .filter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                      .read = ReadSubkeyTexts,
                                      .renderSubkey = ImagePathText};

bool IsTextType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}
} // namespace

UINT MonitorServiceProc(LPVOID param) {
    return RunRegistryMonitor(*static_cast<IMonitorHost*>(param), "MonitorServiceProc", {kServices});
}

void CleanEmptyImagePaths() {
    try {
        CRegistryKey services;
        if (services.Open(HKEY_LOCAL_MACHINE, kServicesPath) != ERROR_SUCCESS)
            return;
        ForEachSubkey(services.Get(), [&services](const std::string& name) {
            CRegistryKey service;
            if (service.Open(services.Get(), name, KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
                return;
            BYTE data[260];
            DWORD size = sizeof data;
            DWORD type = REG_NONE;
            if (::RegQueryValueExW(service.Get(), L"ImagePath", nullptr, &type, data, &size) != ERROR_SUCCESS)
                return; // missing, too long or unreadable: left alone
            // Empty means no data, or a text that ends at once. A number or binary value whose
            // first bytes happen to be zero is not empty and stays.
            bool emptyText = IsTextType(type) && (size < sizeof(wchar_t) || (data[0] == 0 && data[1] == 0));
            if (size == 0 || emptyText)
                service.DeleteValue("ImagePath");
        });
    } catch (...) {
    }
}
