#include "COMMonitor.h"

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
    return text;
}

void ReadCOMClasses(const CRegistryKey& clsid, const RegistryWatchSettings& settings,
                    const ItemVisitor& visit) {
    ForEachSubkey(clsid.Get(), [&](const std::string& name) {
        // Read-only, so that a class removed meanwhile is simply no item.
        CRegistryKey cls;
        if (cls.Open(clsid.Get(), name, KEY_READ | settings.view) != ERROR_SUCCESS)
            return;
        std::string details = COMDetails(cls.ReadDefaultText(), cls.ReadDefaultText("InprocServer32"),
                                         cls.ReadDefaultText("LocalServer32"));
        if (!details.empty())
            visit(name, details);
    });
}
