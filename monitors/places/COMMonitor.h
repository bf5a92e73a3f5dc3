// The COM registration monitor: the classes under HKEY_CLASSES_ROOT\CLSID that register a
// server, reported as "ActiveX COM" with the class key's name as the location and
// "COM=name;Inproc=path;Local=path " as the details. The whole subtree is watched, so that a
// rewritten server path is seen one settle after the write. Reading every class takes long
// on a full machine, so it reads during the settle (readAhead).
#pragma once
#include "../engine/RegistrySource.h"
#include <string>
#include <vector>

// The class's details: each non-empty part in turn, "COM=%s;", "Inproc=%s;", "Local=%s ".
// Empty when the class has neither server: it is then no item.
std::string COMDetails(const std::string& className, const std::string& inproc, const std::string& local);

// Item reader: every class of the open CLSID key that has a server, name -> details.
void ReadCOMClasses(const CRegistryKey& clsid, const RegistryWatchSettings& settings,
                    const ItemVisitor& visit);
