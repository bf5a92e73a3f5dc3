#include "WatchCycle.h"
#include <algorithm>
#include "KeyMemo.h"
#include "../../framework/AfxHandle.h"
#include "../../framework/AfxString.h"

void NameAsLocation(const std::string& name, const std::string& text, std::string& location,
                    std::string& details) {
    location = name;
    details = text;
}

CWatch::CWatch(std::unique_ptr<CWatchSource> source, const char* category, ItemFormat format, bool readAhead)
    : m_source(std::move(source)), m_category(category), m_format(std::move(format)), m_readAhead(readAhead) {
}

bool CWatch::Report(IMonitorHost& host, int kind, const std::string& name, const std::string& text,
                    const std::string& previous) {
    std::string location, details, previousLocation, previousDetails;
    m_format(name, text, location, details);
    if (kind == EVENT_CHANGED)
        m_format(name, previous, previousLocation, previousDetails);
    return host.ReportEvent(m_category, kind, Utf8ToAnsi(location).c_str(), Utf8ToAnsi(details).c_str(),
                            kind == EVENT_CHANGED ? Utf8ToAnsi(previousDetails).c_str() : nullptr);
}

void CWatch::CompareWith(IMonitorHost& host, const ItemReader& read) {
    m_snapshot.Compare(read,
                       [&](int kind, const std::string& name, const std::string& text,
                           const std::string& previous) { return Report(host, kind, name, text, previous); });
}

void CWatch::TakeFirstSnapshot(IMonitorHost& host) {
    m_id = Id();
    m_snapshot.KeepIn(m_store, m_id);
    m_snapshot.Restart();
    DWORD start = ::GetTickCount();
    CompareWith(host, [this](const ItemVisitor& visit) { m_source->ReadItems(visit); });
    m_readMs = ::GetTickCount() - start;
}

void CWatch::KeepUnderName() {
    if (Id() == m_id)
        return;
    m_id = Id();
    m_snapshot.Rename(m_id);
}

void CWatch::Compare(IMonitorHost& host) {
    m_source->Reconnect();
    KeepUnderName();
    CompareWith(host, [this](const ItemVisitor& visit) { m_source->ReadItems(visit); });
    if (m_followUp)
        m_followUp(host);
}

namespace {
// Sleeps until `ms` have passed since tick count `since`.
void SleepUntil(DWORD since, DWORD ms) {
    DWORD elapsed = ::GetTickCount() - since;
    if (elapsed < ms)
        ::Sleep(ms - elapsed);
}
} // namespace

bool CWatch::ReadDuringSettle(DWORD settle, DWORD noticed, ItemReading& items) {
    // As late as the last reading's length allows (twice it, and a quarter of a second), and
    // no earlier than a fifth of the settle: most installers' writes are over by then (from a
    // tenth on, the 2,000 classes written in 0.6 s were read twice), and a short reading does
    // not join a long one of another place (COM's) at its start. A write after the start only
    // costs a second reading after the settle.
    DWORD lead = std::min<DWORD>(settle - settle / 5, 2 * m_readMs + 250);
    SleepUntil(noticed, settle - lead);
    CHandle quiet = MakeEvent(true);
    bool watching = quiet && m_source->WatchWhileReading(quiet.Get());
    // An installer's writes signal again after the re-arming: without this, a second turn would
    // read the whole place once more and run into the next change's settle.
    if (watching)
        m_source->DropSignalBeforeReading();
    DWORD start = ::GetTickCount();
    if (watching)
        m_source->ReadItems(
            [&items](const std::string& name, const std::string& text) { items.emplace_back(name, text); });
    m_readMs = ::GetTickCount() - start;
    SleepUntil(noticed, settle);
    bool unchanged = watching && !m_source->ChangedWhileReading(quiet.Get());
    if (watching)
        m_source->EndWatchWhileReading();
    return unchanged;
}

bool CWatch::Settle(IMonitorHost& host, DWORD noticed, ItemReading& items) {
    DWORD settle = host.GetSettleTime();
    if (m_readAhead)
        return ReadDuringSettle(settle, noticed, items);
    SleepUntil(noticed, settle);
    return false;
}

void CWatch::CompareSettled(IMonitorHost& host, bool ahead, const ItemReading& items) {
    if (!ahead)
        return Compare(host);
    // Nothing changed since the reading began: it is the place as it is now.
    CompareWith(host, [&items](const ItemVisitor& visit) {
        for (const auto& item : items)
            visit(item.first, item.second);
    });
    if (m_followUp)
        m_followUp(host);
}

namespace {
struct Waiter {
    CWatch* watch;
    bool guard;
};

// A change signal re-arms its source; a guard signal tells whether the place must be read again.
bool TakeSignal(const Waiter& w) {
    if (!w.guard) {
        w.watch->Source().Rearm();
        return true;
    }
    return w.watch->Source().OnGuardSignal();
}
} // namespace

namespace {
void ReportWaitFailure(IMonitorHost& host, const std::vector<const char*>& waitNames) {
    DWORD error = ::GetLastError();
    for (const char* waitName : waitNames) {
        CString text;
        if (waitName)
            text.Format("%s: Failed to wait (%d)", waitName, static_cast<int>(error));
        else
            text.Format("Failed to wait (%d)", static_cast<int>(error));
        host.ReportError(text);
    }
}
// Watches that signalled meanwhile are compared after the same settle, rather than one full
// settle after another; once, even if both their events signalled. They are re-armed before any
// reading of the turn begins, so that the turn's readings may share what they list.
std::vector<CWatch*> TakeOthers(const std::vector<CWatch*>& watches, const std::vector<Waiter>& waiters,
                                const std::vector<HANDLE>& handles, CWatch* watch) {
    std::vector<CWatch*> others;
    for (CWatch* other : watches) {
        bool read = false;
        for (size_t i = 0; i < waiters.size(); ++i)
            if (other != watch && waiters[i].watch == other &&
                ::WaitForSingleObject(handles[i], 0) == WAIT_OBJECT_0)
                read |= TakeSignal(waiters[i]);
        if (read)
            others.push_back(other);
    }
    return others;
}
} // namespace

void RunWatchLoop(IMonitorHost& host, const std::vector<CWatch*>& watches,
                  const std::vector<const char*>& waitNames) {
    std::vector<HANDLE> handles;
    std::vector<Waiter> waiters;
    for (;;) {
        // Listed afresh for every wait: a folder's change handle is made anew when the folder
        // comes back, and a place that is gone has none.
        handles.clear();
        waiters.clear();
        for (int pass = 0; pass < 2; ++pass)
            for (CWatch* watch : watches) {
                HANDLE h = pass == 0 ? watch->Source().ChangeEvent() : watch->Source().GuardEvent();
                if (!h)
                    continue;
                handles.push_back(h);
                waiters.push_back({watch, pass == 1});
            }
        handles.push_back(host.GetStopEvent());
        DWORD r =
            ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
        if (r == WAIT_FAILED)
            return ReportWaitFailure(host, waitNames);
        // The settle counts from here: re-arming a place of many keys takes a while.
        DWORD noticed = ::GetTickCount();
        size_t index = r - WAIT_OBJECT_0;
        if (index >= waiters.size())
            return; // the stop event
        CWatch* watch = waiters[index].watch;
        if (!TakeSignal(waiters[index]))
            continue; // another child of the parent came or went
        ItemReading items;
        bool ahead = watch->Settle(host, noticed, items);
        std::vector<CWatch*> also = TakeOthers(watches, waiters, handles, watch);
        CReadingTurn turn;
        watch->CompareSettled(host, ahead, items);
        for (CWatch* other : also)
            other->Compare(host);
    }
}

UINT RunWatchMonitors(IMonitorHost& host, std::vector<LoopMonitor> monitors, CSnapshotStore* store) {
    try {
        std::vector<CWatch*> loop;
        std::vector<const char*> waitNames;
        for (LoopMonitor& monitor : monitors) {
            size_t before = loop.size();
            for (auto& watch : monitor.watches) {
                if (!watch->Source().Arm(host))
                    continue;
                watch->KeepSnapshotsIn(store);
                watch->TakeFirstSnapshot(host);
                loop.push_back(watch.get());
            }
            if (loop.size() == before)
                continue;
            waitNames.push_back(monitor.waitName);
            host.OnMonitorReady(monitor.name);
        }
        if (!loop.empty())
            RunWatchLoop(host, loop, waitNames);
    } catch (...) {
    }
    return 0;
}

UINT RunWatchMonitor(IMonitorHost& host, std::vector<std::unique_ptr<CWatch>> watches, const char* monitor,
                     const char* waitName, CSnapshotStore* store) {
    std::vector<LoopMonitor> monitors;
    monitors.push_back({monitor, waitName, std::move(watches)});
    return RunWatchMonitors(host, std::move(monitors), store);
}
