// The COM registration monitor: the classes under HKEY_CLASSES_ROOT\CLSID, and the user's own
// (HKCU\Software\Classes\CLSID, which override the machine's), that register a server, another
// class to stand in (TreatAs) or shell verbs, reported as "ActiveX COM" with the class key's name
// as the location and "COM=name;Inproc=path;Local=path TreatAs={id};open=command;" as the
// details. The whole subtree is watched, so that a rewritten server path is seen one settle
// after the write. Reading every class takes long on a full machine, so it reads during the
// settle (readAhead).
#pragma once
#include "../engine/RegistrySource.h"
#include <string>
#include <vector>

// The class's details: each non-empty part in turn, "COM=%s;", "Inproc=%s;", "Local=%s ",
// "TreatAs=%s;", then the verbs as ShellVerbs gives them. Empty when the class has no server,
// TreatAs or verb: it is then no item.
std::string COMDetails(const std::string& className, const std::string& inproc, const std::string& local,
                       const std::string& treatAs = std::string(), const std::string& verbs = std::string());

// The commands of the shell key's verbs ("open\command"), "open=command;" each, in the
// registry's order; a verb without a command is left out.
std::string ShellVerbs(const CRegistryKey& shell);

// Item reader: every class of the open CLSID key that has a server, name -> details.
void ReadCOMClasses(const CRegistryKey& clsid, const RegistryWatchSettings& settings,
                    const ItemVisitor& visit);
