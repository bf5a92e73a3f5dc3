// The readers of registry places that read more than the values of a key.
#include "Places.h"
#include <algorithm>
#include <cstdio>
#include <cstring>

void ReadWinlogonValues(const CRegistryKey& key, const RegistryWatchSettings&, const ItemVisitor& visit) {
    // REG_SZ values as their text, REG_DWORD values as "%d"; every other type takes no part and
    // the enumeration goes on past it.
    ForEachValue(key.Get(), [&visit](const std::string& name, DWORD type, const BYTE* data, DWORD size) {
        if (type == REG_SZ) {
            visit(name, ValueText(type, data, size));
        } else if (type == REG_DWORD) {
            // A short number value takes the bytes it has, never the stale rest of the buffer.
            DWORD number = 0;
            std::memcpy(&number, data, std::min<DWORD>(size, sizeof number));
            char text[16];
            std::snprintf(text, sizeof text, "%d", static_cast<int>(number));
            visit(name, text);
        }
    });
}

void ReadProducts(const CRegistryKey& key, const RegistryWatchSettings& settings, const ItemVisitor& visit) {
    // Missing parts stay empty, so an entry with neither value reads " v".
    ReadSubkeyItems(
        key, settings,
        [](const CRegistryKey& entry) {
            return entry.ReadText("DisplayName") + " v" + entry.ReadText("DisplayVersion");
        },
        visit);
}

void ReadApprovals(const CRegistryKey& key, const RegistryWatchSettings& settings, const ItemVisitor& visit) {
    // The shell's startup switch: an even first byte is on, an odd one off.
    ForEachValue(key.Get(), [&](const std::string& name, DWORD, const BYTE* data, DWORD size) {
        if (ValueCounts(settings, name))
            visit(name, size && (data[0] & 1) ? "disabled" : "enabled");
    });
}

namespace {
const char kServicesPath[] = "System\\CurrentControlSet\\Services";

bool IsTextType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}
} // namespace

void CleanEmptyImagePaths() {
    try {
        CRegistryKey services;
        if (services.Open(HKEY_LOCAL_MACHINE, kServicesPath) != ERROR_SUCCESS)
            return;
        ForEachSubkey(services.Get(), [&services](const std::string& name) {
            CRegistryKey service;
            if (service.Open(services.Get(), name, KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
                return;
            DWORD type = REG_NONE;
            std::vector<BYTE> data;
            if (!service.ReadValue("ImagePath", type, data))
                return; // missing or unreadable: left alone
            // Empty means no data, or a text that ends at once. A number or binary value whose
            // first bytes happen to be zero is not empty and stays.
            bool emptyText =
                IsTextType(type) && (data.size() < sizeof(wchar_t) || (data[0] == 0 && data[1] == 0));
            if (data.empty() || emptyText)
                service.DeleteValue("ImagePath");
        });
    } catch (...) {
    }
}
