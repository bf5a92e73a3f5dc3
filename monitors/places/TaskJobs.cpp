// The jobs route: every scheduled job, by id.
#include "TaskRoutes.h"
#include <cstdio>
#include <lmapibuf.h>
#include <lmerr.h>
#include <vector>

namespace {
// One page of job records, handed back to the sources that gave it.
class CJobPage {
public:
    explicit CJobPage(CTaskSources& sources) : m_sources(sources) {}
    ~CJobPage() {
        if (m_buffer)
            m_sources.FreeJobs(m_buffer);
    }
    CJobPage(const CJobPage&) = delete;
    CJobPage& operator=(const CJobPage&) = delete;
    LPBYTE* Out() { return &m_buffer; }
    const AT_ENUM* Jobs() const { return reinterpret_cast<const AT_ENUM*>(m_buffer); }

private:
    CTaskSources& m_sources;
    LPBYTE m_buffer = nullptr;
};

class CJobRoute : public CTaskRoute {
public:
    explicit CJobRoute(CTaskSources& sources) : CTaskRoute("jobs", sources) {}
    bool Read(ItemReading& reading) override;
};

bool CJobRoute::Read(ItemReading& reading) {
    DWORD resume = 0;
    for (;;) {
        CJobPage page(m_sources);
        DWORD read = 0, total = 0;
        NET_API_STATUS status = m_sources.EnumJobs(page.Out(), &read, &total, &resume);
        if (status != NERR_Success && status != ERROR_MORE_DATA)
            return false;
        if (read != 0 && !page.Jobs())
            return false;
        for (DWORD i = 0; i < read; ++i)
            reading.emplace_back(std::to_string(page.Jobs()[i].JobId), JobDetailsText(page.Jobs()[i]));
        if (status == NERR_Success)
            return true;
        // More was promised: asking again for more that never comes would never end.
        if (read == 0)
            return false;
    }
}
} // namespace

std::string WideToAnsi(const wchar_t* text, size_t size) {
    if (!text || !*text || size == 0)
        return std::string();
    const char* unknown = " ";
    int n = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, unknown, nullptr);
    if (n <= 0) {
        // Code pages such as UTF-8 take no replacement character.
        unknown = nullptr;
        n = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    }
    if (n <= 0)
        return std::string();
    std::vector<char> whole(n);
    if (::WideCharToMultiByte(CP_ACP, 0, text, -1, whole.data(), n, unknown, nullptr) <= 0)
        return std::string();
    whole[n - 1] = '\0';
    std::vector<char> cut(size);
    CopyCut(cut.data(), size, whole.data());
    return cut.data();
}

std::string JobDaysText(const AT_ENUM& job) {
    static const char* const kWeekDays[] = {"M ", "T ", "W ", "Th ", "F ", "Sa ", "Su "};
    std::string text;
    if (job.Flags & JOB_RUN_PERIODICALLY)
        text += "Each ";
    for (int bit = 0; bit < 7; ++bit)
        if (job.DaysOfWeek & (1u << bit))
            text += kWeekDays[bit];
    for (int bit = 0; bit < 31; ++bit)
        if (job.DaysOfMonth & (1u << bit))
            text += std::to_string(bit + 1) + " ";
    return text;
}

std::string JobTimeText(DWORD_PTR jobTime) {
    // Whole minutes after midnight; a time of a day or more (never a valid job time) wraps
    // round rather than widening the text.
    unsigned minutes = static_cast<unsigned>((jobTime / 60000) % (24 * 60));
    unsigned hour = minutes / 60;
    char text[16];
    std::snprintf(text, sizeof text, "%2u:%02u%s", hour % 12 == 0 ? 12 : hour % 12, minutes % 60,
                  hour < 12 ? "AM" : "PM");
    return text;
}

std::string JobDetailsText(const AT_ENUM& job) {
    return JobDaysText(job) + ";" + JobTimeText(job.JobTime) + ";" + WideToAnsi(job.Command, kTaskTextSize);
}

NET_API_STATUS CTaskSources::EnumJobs(LPBYTE* buffer, DWORD* entriesRead, DWORD* totalEntries,
                                      DWORD* resumeHandle) {
    return ::NetScheduleJobEnum(nullptr, buffer, MAX_PREFERRED_LENGTH, entriesRead, totalEntries,
                                resumeHandle);
}

void CTaskSources::FreeJobs(LPBYTE buffer) {
    ::NetApiBufferFree(buffer);
}

NET_API_STATUS CTaskSources::DeleteJob(DWORD id) {
    return ::NetScheduleJobDel(nullptr, id, id);
}

std::unique_ptr<CTaskRoute> MakeJobRoute(CTaskSources& sources) {
    return std::make_unique<CJobRoute>(sources);
}
