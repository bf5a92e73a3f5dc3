#include "MonitorHost.h"
#include "AutoRunMonitor.h"
#include <string>

void IMonitorHost::ReportAutoRunEvent(const AutoRunKey* key, int kind, const char* valueName,
                                      const char* valueData) {
    std::string location = std::string(key->hiveName) + "/" + key->path;
    std::string details = std::string(valueName) + "=" + valueData;
    ReportEvent(CATEGORY_AUTORUN, kind, location.c_str(), details.c_str());
}

void SignalStop(HANDLE stopEvent, DWORD roundMs) {
    for (int round = 0; round < 6; ++round) {
        ::SetEvent(stopEvent);
        ::Sleep(0);
        ::SetEvent(stopEvent);
        ::Sleep(roundMs);
    }
}
