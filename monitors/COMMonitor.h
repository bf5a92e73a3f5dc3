// The COM registration monitor: the classes under HKEY_CLASSES_ROOT\CLSID that register a
// server, reported as "ActiveX COM" with the class key's name as the location and
// "COM=name;Inproc=path;Local=path " as the details. It runs the shared registry watch
// cycle; only a class key added or removed directly under CLSID signals it. Reading every
// class takes long on a full machine, so it reads during the settle (readAhead).
#pragma once
#include "RegistryWatch.h"
#include <string>

// The class's details: each non-empty part in turn, "COM=%s;", "Inproc=%s;", "Local=%s ",
// cut to fit 1023 characters. Empty when the class has neither server: it is then no item.
std::string COMDetails(const std::string& className, const std::string& inproc, const std::string& local);

// Item reader: every class of the open CLSID key that has a server, name -> details.
void ReadCOMClasses(HKEY clsidKey, const RegistryWatchSettings& settings, const ItemVisitor& visit);

extern const RegistryWatchSettings g_comWatchSettings;

// Thread procedure; the parameter is the IMonitorHost.
UINT MonitorCOMProc(LPVOID param);
