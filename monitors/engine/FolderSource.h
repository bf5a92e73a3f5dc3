// A folder as a watch source: its entries (names added or removed), "." and ".." included.
#pragma once
#include "../../framework/AfxHandle.h"
#include "WatchCycle.h"
#include <string>

class CFolderSource : public CWatchSource {
public:
    // path: the folder, without a trailing backslash.
    explicit CFolderSource(std::string path) : m_path(std::move(path)) {}

    std::string Name() const override { return m_path; }
    bool Arm(IMonitorHost& host) override;
    HANDLE ChangeEvent() const override { return m_change.Get(); }
    HANDLE GuardEvent() const override { return m_guard.Get(); }
    void Rearm() override;
    bool OnGuardSignal() override;
    void Reconnect() override;
    void ReadItems(const ItemVisitor& visit) override;

private:
    void Rewatch();
    void GuardAncestor();

    std::string m_path;
    // Null while the folder is gone. A change handle names the folder it was made for (Wine's
    // never signals again once that folder is gone), so it is made afresh after a guard signal.
    CChangeHandle m_change;
    // Folders coming and going in the parent, or while the folder is gone in its nearest
    // existing ancestor.
    CChangeHandle m_guard;
    bool m_rewatch = false;
};

bool FolderExists(const std::string& path);
