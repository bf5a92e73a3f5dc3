#include "MonitorHost.h"

void SignalStop(HANDLE stopEvent, DWORD roundMs) {
    for (int round = 0; round < 6; ++round) {
        ::SetEvent(stopEvent);
        ::Sleep(0);
        ::SetEvent(stopEvent);
        ::Sleep(roundMs);
    }
}
