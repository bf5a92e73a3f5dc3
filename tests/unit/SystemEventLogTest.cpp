// The event log's side of an event: the message table built into the exe and the user's switch.
// What the event log receives from the real program is checked by the system tests, through
// Wine's trace of it.
#include "app/Preferences.h"
#include "app/SystemEventLog.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

TEST(SystemEventLog, MessageTableHoldsOneTextPerKindWithTheFiveTexts) {
    EventRecord rec;
    FillEventRecord(rec, SYSTEMTIME{2003, 3, 0, 5, 0, 0, 0, 0}, "Auto Run", EVENT_NEW, "HKLM/Run",
                    "a=%1 \"b\"");
    const char* texts[] = {rec.date, rec.category, rec.event, rec.location, rec.details};
    auto text = [&](DWORD id) {
        char out[512] = "";
        DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                 GetModuleHandleA(nullptr), id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                 out, sizeof out, reinterpret_cast<va_list*>(const_cast<char**>(texts)));
        return n ? std::string(out) : "<none " + std::to_string(GetLastError()) + ">";
    };
    const char* rest = " Auto Run entry\r\nLocation: HKLM/Run\r\nDetails: a=%1 \"b\"\r\nDate: 05/03/2003";
    const struct {
        int kind;
        DWORD id;
        std::string text;
    } cases[] = {{EVENT_NEW, 1, std::string("New") + rest},
                 {EVENT_DELETED, 2, std::string("Deleted") + rest},
                 {EVENT_CHANGED, 3, std::string("Changed") + rest},
                 {7, 0, "<none 317>"}}; // no id for an unknown kind: Event Viewer shows the bare texts
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_EQ(c.id, EventLogId(c.kind));
        EXPECT_EQ(c.text, text(EventLogId(c.kind)));
    }
}

TEST(SystemEventLog, SwitchIsOnUnlessTurnedOffByADwordZero) {
    const std::string key = kSettingsKeyPath;
    const DWORD zero = 0, one = 1;
    const struct {
        const void* data; // nullptr: no value
        DWORD size, type;
        bool on;
    } cases[] = {{nullptr, 0, 0, true},
                 {&zero, 4, REG_DWORD, false},
                 {&one, 4, REG_DWORD, true},
                 {"0", 2, REG_SZ, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        RegDeleteValueAt(HKEY_CURRENT_USER, key, kEventLogSwitchValue);
        if (c.data)
            RegSetBinary(HKEY_CURRENT_USER, key, kEventLogSwitchValue, c.data, c.size, c.type);
        EXPECT_EQ(c.on, IsEventLogSwitchedOn());
    }
    RegDeleteValueAt(HKEY_CURRENT_USER, key, kEventLogSwitchValue);
}
