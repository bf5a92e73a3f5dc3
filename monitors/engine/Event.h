// What an event is made of: its kind, its category texts and the widths of its shown and
// logged fields. Monitors cut nothing themselves; the event record cuts to these widths.
#pragma once

enum EventKind { EVENT_NEW = 0, EVENT_DELETED = 1, EVENT_CHANGED = 2 };

// Field widths, terminator included: a longer text is cut at a character boundary.
const unsigned kDateChars = 12;
const unsigned kCategoryChars = 40;
const unsigned kEventChars = 20;
const unsigned kLocationChars = 260;
const unsigned kDetailsChars = 1024;

// Category texts, one per monitor.
#define CATEGORY_AUTORUN "Auto Run"
#define CATEGORY_SERVICE "Service"
#define CATEGORY_INSTALLS "Installs"
#define CATEGORY_AUTOSTART "Auto Start"
#define CATEGORY_COM "ActiveX COM"
#define CATEGORY_WINLOGON "WinLogon"
#define CATEGORY_TASKS "Task Scheduler"
#define CATEGORY_SHARES "Share Resource"
#define CATEGORY_FILEASSOC "File Associations"
