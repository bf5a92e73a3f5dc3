#include "COMMonitor.h"

std::string COMDetails(const std::string& className, const std::string& inproc, const std::string& local,
                       const std::string& treatAs, const std::string& verbs) {
    if (inproc.empty() && local.empty() && treatAs.empty() && verbs.empty())
        return std::string();
    std::string text;
    if (!className.empty())
        text += "COM=" + className + ";";
    if (!inproc.empty())
        text += "Inproc=" + inproc + ";";
    if (!local.empty())
        text += "Local=" + local + " ";
    if (!treatAs.empty())
        text += "TreatAs=" + treatAs + ";";
    return text + verbs;
}

std::string ShellVerbs(const CRegistryKey& parent, REGSAM view) {
    CRegistryKey shell;
    std::string verbs;
    // Read-only: a class without verbs has no shell key, and none is made.
    if (shell.Open(parent.Get(), "shell", KEY_READ | view) != ERROR_SUCCESS)
        return verbs;
    ForEachSubkey(shell.Get(), [&](const std::string& verb) {
        std::string command = shell.ReadDefaultText(verb + "\\command");
        if (!command.empty())
            verbs += verb + "=" + command + ";";
    });
    return verbs;
}

void ReadCOMClasses(const CRegistryKey& clsid, const RegistryWatchSettings& settings,
                    const ItemVisitor& visit) {
    ForEachSubkey(clsid.Get(), [&](const std::string& name) {
        // Read-only, so that a class removed meanwhile is simply no item.
        CRegistryKey cls;
        if (cls.Open(clsid.Get(), name, KEY_READ | settings.view) != ERROR_SUCCESS)
            return;
        std::string details = COMDetails(cls.ReadDefaultText(), cls.ReadDefaultText("InprocServer32"),
                                         cls.ReadDefaultText("LocalServer32"), cls.ReadDefaultText("TreatAs"),
                                         ShellVerbs(cls, settings.view));
        if (!details.empty())
            visit(name, details);
    });
}
