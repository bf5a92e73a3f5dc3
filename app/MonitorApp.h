// The application object: prepares the process and runs the main window modally.
#pragma once
#include "../framework/AfxWin.h"

class CMonitorApp : public CWinApp {
public:
    CMonitorApp() = default;
    BOOL InitInstance() override;

    // The directory of the program's file, ending with a backslash; the CSV log lives here.
    char m_programDir[MAX_PATH] = "";

    // From the module path or, when that is empty, the command line: everything up to and
    // including the last backslash, without a leading quote, kept within MAX_PATH. Empty
    // (the current directory) when there is no backslash at all.
    static void ComputeProgramDir(const char* modulePath, const char* commandLine, char (&dir)[MAX_PATH]);

protected:
    virtual BOOL InitSockets();
    virtual void RunMainDialog();
};

// The running application's program directory ("" when there is none).
const char* GetProgramDir();
