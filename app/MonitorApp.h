// The application object: prepares the process and runs the main window modally, once per
// session: a second start brings the running window up instead.
#pragma once
#include "../framework/AfxHandle.h"
#include "../framework/AfxWin.h"

class CMonitorApp : public CWinApp {
public:
    CMonitorApp() = default;
    BOOL InitInstance() override;

    // From the module path or, when that is empty, the command line: everything up to and
    // including the last backslash, without a leading quote, kept within MAX_PATH. Empty
    // (the current directory) when there is no backslash at all.
    static void ComputeProgramDir(const char* modulePath, const char* commandLine, char (&dir)[MAX_PATH]);

protected:
    // True when no other Kestrow runs in the session; otherwise asks the running one to show
    // its window.
    bool IsFirstInstance();

private:
    static BOOL InitSockets();
    static void RunMainDialog(const char* programDir);

    CHandle m_instanceMutex;
};
