// The task monitor's routes: each reads its whole list, or says it could not, and compares a
// complete reading through its own snapshot. Task texts compare without regard to case.
#pragma once
#include "../engine/Snapshot.h"
#include "TaskMonitor.h"

const size_t kTaskTextSize = 260; // names, commands and trigger texts as 1.0 and jobs give them

class CTaskRoute {
public:
    // `name`: how the store knows the route's snapshot, after the category.
    CTaskRoute(const char* name, CTaskSources& sources) : m_sources(sources), m_name(name) {}
    virtual ~CTaskRoute() = default;
    const char* Name() const { return m_name; }
    CPlaceSnapshot& Snapshot() { return m_snapshot; }

    // The whole list in its order; false when it could not be read in full.
    virtual bool Read(ItemReading& reading) = 0;
    // Reports how a complete reading differs from what was known.
    void Compare(IMonitorHost& host, const ItemReading& reading);

protected:
    // An item's texts as shown: as read, unless the route says otherwise.
    virtual std::string ShownLocation(const std::string& name) const { return name; }
    virtual std::string ShownText(const std::string& text) const { return text; }
    CTaskSources& m_sources;
    CPlaceSnapshot m_snapshot{CompareNoCase};

private:
    const char* m_name;
};

std::unique_ptr<CTaskRoute> MakeWorkItemRoute(CTaskSources& sources);
std::unique_ptr<CTaskRoute> MakeJobRoute(CTaskSources& sources);
// Leaves out a root-folder task that the work items list: they report it.
std::unique_ptr<CTaskRoute> MakeTaskFolderRoute(CTaskSources& sources, const CPlaceSnapshot& workItems);

// A work item's name as its route knows it: whole, in the code page.
std::string WorkItemName(const wchar_t* name);
