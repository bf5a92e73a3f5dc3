#include "COMMonitor.h"
#include <iterator>

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

std::string ShellVerbs(const CRegistryKey& shell) {
    std::string verbs;
    ForEachSubkey(shell.Get(), [&](const std::string& verb) {
        std::string command = shell.ReadDefaultText(verb + "\\command");
        if (!command.empty())
            verbs += verb + "=" + command + ";";
    });
    return verbs;
}

namespace {
// The keys below a class that make it an item, in the order of COMDetails' parts.
const char* const kClassKeys[] = {"InprocServer32", "LocalServer32", "TreatAs", "shell"};
const unsigned kShell = 3, kAllClassKeys = 15;

// Of each key of kClassKeys that the bit `wanted` names, below the class `name`: its default
// text (the verbs for shell) in `parts`. Returns the bits of those that could be opened. Opened
// without naming the view, which the CLSID key's handle already is: below it nothing is
// redirected, and under Wine a path opened with a view flag costs a round trip per key in it.
unsigned ReadClassKeys(HKEY clsid, const std::string& name, unsigned wanted, std::string* parts) {
    unsigned found = 0;
    for (unsigned i = 0; i < std::size(kClassKeys); ++i) {
        CRegistryKey key;
        // Read-only: a class without verbs has no shell key, and none is made.
        if (!(wanted & 1u << i) || key.Open(clsid, name + "\\" + kClassKeys[i],
                                            i == kShell ? KEY_READ : KEY_QUERY_VALUE) != ERROR_SUCCESS)
            continue;
        found |= 1u << i;
        parts[i] = i == kShell ? ShellVerbs(key) : key.ReadText(std::string());
    }
    return found;
}
} // namespace

void ReadCOMClasses(const CRegistryKey& clsid, const RegistryWatchSettings& settings,
                    const ItemVisitor& visit) {
    ForEachSubkeyStamped(clsid.Get(), [&](const std::string& name, ULONGLONG written) {
        std::string parts[std::size(kClassKeys)], className;
        unsigned has = 0;
        bool read = false;
        // A class's own time moves when its name is written or a key below it comes or goes, not
        // when a server's path is rewritten: while it stands, its name and the keys it lacked are
        // taken from the last reading (a third of the registry calls), the keys it has read anew.
        Remembered(
            settings, name, written,
            [&](const ItemVisitor& keep) {
                // Read-only, so that a class removed meanwhile is simply no item.
                CRegistryKey cls;
                if (cls.Open(clsid.Get(), name, KEY_QUERY_VALUE | settings.view) != ERROR_SUCCESS)
                    return false;
                read = true;
                unsigned found = ReadClassKeys(clsid.Get(), name, kAllClassKeys, parts);
                keep(std::string(1, static_cast<char>('a' + found)), cls.ReadDefaultText());
                return true;
            },
            [&](const std::string& keys, const std::string& text) { has = keys[0] - 'a', className = text; });
        if (!read)
            ReadClassKeys(clsid.Get(), name, has, parts);
        std::string details = COMDetails(className, parts[0], parts[1], parts[2], parts[3]);
        if (!details.empty())
            visit(name, details);
    });
}
