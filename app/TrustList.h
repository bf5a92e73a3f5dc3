// Changes the user trusts: a later event with the same category, event, location and details is
// still listed, logged and sent to the event log, but starts no alert. Kept per user, one value
// per change under HKEY_CURRENT_USER\Software\Kestrow\Trusted (see EncodeTrusted); a value that
// is not ours (another type, torn text) is passed over, never fatal.
#pragma once
#include "../ui/EventList.h"
#include "EventLogFile.h"
#include <string>
#include <vector>

struct TrustedChange {
    std::string category, event, location, details;
    bool operator==(const TrustedChange&) const = default;
};

// "<bytes>:<text>" for each of the four texts, joined by single spaces, for example
// `8:Auto Run 3:New 3:HKX 5:a=1,"`: any text survives, quotes, commas and '=' included.
std::string EncodeTrusted(const TrustedChange& change);
// False, with `change` unspecified, for any text EncodeTrusted cannot have made.
bool DecodeTrusted(const std::string& text, TrustedChange& change);
// The change a row of the event list shows (its columns 1 to 4).
TrustedChange RowChange(const CEventList& list, int row);

extern const char* const kTrustedKeyPath; // "Software\Kestrow\Trusted"

class CTrustList {
public:
    // Tests keep their entries under a key of their own.
    explicit CTrustList(HKEY hive = HKEY_CURRENT_USER, std::string path = kTrustedKeyPath)
        : m_hive(hive), m_path(std::move(path)) {}

    // Reads the key again; what cannot be read is left out.
    void Load();
    bool Matches(const EventRecord& rec) const;
    bool Matches(const TrustedChange& change) const;
    // Written at once; adding a change already trusted changes nothing. The registry's error code.
    LONG Add(const TrustedChange& change);
    LONG Remove(const TrustedChange& change);
    const std::vector<TrustedChange>& Entries() const { return m_changes; }
    // Greys the rows whose change is trusted, and only those.
    void MarkRows(CEventList& list) const;

private:
    HKEY m_hive;
    std::string m_path;
    std::vector<TrustedChange> m_changes;
    std::vector<std::vector<std::string>> m_names; // the values that hold each change
};

// "Trust this...": asks, then trusts the change of every selected row and greys the rows it
// covers. False when nothing was trusted.
bool TrustSelectedRows(CTrustList& trust, CEventList& list);
