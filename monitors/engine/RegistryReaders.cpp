// The item readers shared by several registry places. ReadValues and ReadSubkeyTexts read
// through the source's memo (KeyMemo.h): only the keys written since the last reading.
#include "../../framework/AfxString.h"
#include "RegistrySource.h"
#include <cstring>
#include <string>

void ReadValueTexts(const CRegistryKey& key, const RegistryWatchSettings&, const ItemVisitor& visit) {
    ForEachValue(key.Get(), [&visit](const std::string& name, DWORD type, const BYTE* data, DWORD size) {
        visit(name, ValueText(type, data, size));
    });
}

bool ValueCounts(const RegistryWatchSettings& settings, const std::string& name) {
    if (!settings.values)
        return true;
    for (const char *p = settings.values, *end;; p = end + 1) {
        end = std::strchr(p, '|');
        size_t n = end ? static_cast<size_t>(end - p) : std::strlen(p);
        if (name.size() == n && _strnicmp(name.c_str(), p, n) == 0)
            return true;
        if (!end)
            return false;
    }
}

bool SegmentMatches(const std::string& segment, const std::string& name) {
    size_t star = segment.find('*');
    if (star == std::string::npos)
        return _stricmp(segment.c_str(), name.c_str()) == 0;
    return name.size() >= star && _strnicmp(segment.c_str(), name.c_str(), star) == 0;
}

void Remembered(const RegistryWatchSettings& settings, const std::string& path, ULONGLONG written,
                const KeyRead& read, const ItemVisitor& visit) {
    if (settings.memo)
        settings.memo->Visit(path, written, read, visit);
    else
        read(visit);
}

namespace {

// The subkeys of the place's own key with their times, listed once in a turn of the loop for
// every place of that key (see CReadingTurn).
void ForEachListed(const RegistryWatchSettings& settings, HKEY key,
                   const std::function<void(const std::string& name, ULONGLONG written)>& visit) {
    CReadingTurn* turn = CReadingTurn::Current();
    if (!turn)
        return ForEachSubkeyStamped(key, visit);
    bool listed = false;
    CReadingTurn::Listing& listing = turn->Find(std::to_string(reinterpret_cast<uintptr_t>(settings.hive)) +
                                                    "|" + std::to_string(settings.view) + "|" + settings.path,
                                                listed);
    if (!listed)
        ForEachSubkeyStamped(key, [&listing](const std::string& name, ULONGLONG written) {
            listing.emplace_back(name, written);
        });
    for (const auto& [name, written] : listing)
        visit(name, written);
}

// The values that count of `parent`'s subkey `name` (of `parent` itself when empty), last written
// at `written`; items "prefix<value>". The key is opened only when written since the last reading.
void ReadLeaf(const RegistryWatchSettings& settings, HKEY parent, const std::string& name, ULONGLONG written,
              const std::string& prefix, const ItemVisitor& visit) {
    Remembered(
        settings, prefix, written,
        [&](const ItemVisitor& keep) {
            CRegistryKey key;
            if (!name.empty() && key.Open(parent, name, KEY_READ | settings.view) != ERROR_SUCCESS)
                return false;
            ForEachValue(name.empty() ? parent : key.Get(),
                         [&](const std::string& value, DWORD type, const BYTE* data, DWORD size) {
                             if (ValueCounts(settings, value))
                                 keep(prefix + value, TypedValueText(type, data, size));
                         });
            return true;
        },
        visit);
}

using KeyOpener = std::function<HKEY()>;

// The subkeys that the pattern's segment at `depth` matches, with their last-write times (0: not
// known), of the key `open` gives (null: it cannot be opened). A segment without "*" matches one
// name at most: while the key's own time stands its subkeys are the same, and the one that matched
// is taken by the name it had, without opening the key.
std::vector<std::pair<std::string, ULONGLONG>> Matches(const RegistryWatchSettings& settings,
                                                       const KeyOpener& open, ULONGLONG written, size_t depth,
                                                       const std::string& prefix) {
    const std::string& segment = settings.pattern[depth];
    std::vector<std::pair<std::string, ULONGLONG>> matched;
    auto enumerate = [&](const ItemVisitor& keep) {
        HKEY key = open();
        if (!key)
            return false;
        auto match = [&](const std::string& name, ULONGLONG time) {
            if (SegmentMatches(segment, name))
                matched.emplace_back(name, time), keep(name, std::string());
        };
        depth == 0 ? ForEachListed(settings, key, match) : ForEachSubkeyStamped(key, match);
        return true;
    };
    if (segment.find('*') != std::string::npos) {
        enumerate([](const std::string&, const std::string&) {});
        return matched;
    }
    bool enumerated = false;
    Remembered(
        settings, prefix, written,
        [&](const ItemVisitor& keep) { return enumerated = true, enumerate(keep); },
        [&](const std::string& name, const std::string&) {
            if (!enumerated)
                matched.emplace_back(name, 0);
        });
    return matched;
}

// The items below `parent`'s subkey `name` (`parent` itself when empty), last written at
// `written`, from the pattern's segment at `depth` on. The key is opened only to list its subkeys.
void ReadBelow(const RegistryWatchSettings& settings, HKEY parent, const std::string& name, ULONGLONG written,
               size_t depth, const std::string& prefix, const ItemVisitor& visit) {
    if (depth == settings.pattern.size())
        return ReadLeaf(settings, parent, name, written, prefix, visit);
    CRegistryKey own;
    KeyOpener open = [&]() -> HKEY {
        if (!name.empty() && !own.IsOpen())
            (void)own.Open(parent, name, KEY_READ | settings.view);
        return name.empty() ? parent : own.Get();
    };
    for (const auto& [sub, time] : Matches(settings, open, written, depth, prefix)) {
        std::string below = prefix + sub + "\\";
        if (time) { // listed just now, so its parent is open
            ReadBelow(settings, open(), sub, time, depth + 1, below, visit);
            continue;
        }
        // Known from the last listing: opened by its path, its time asked of itself.
        CRegistryKey key;
        std::string path = own.IsOpen() || name.empty() ? sub : name + "\\" + sub;
        if (key.Open(own.IsOpen() ? own.Get() : parent, path, KEY_READ | settings.view) == ERROR_SUCCESS)
            ReadBelow(settings, key.Get(), std::string(), KeyLastWrite(key.Get()), depth + 1, below, visit);
    }
}
} // namespace

void ReadValues(const CRegistryKey& key, const RegistryWatchSettings& settings, const ItemVisitor& visit) {
    ReadBelow(settings, key.Get(), std::string(), KeyLastWrite(key.Get()), 0, std::string(), visit);
}

void ReadSubkeyItems(const CRegistryKey& key, const RegistryWatchSettings& settings, const SubkeyText& text,
                     const ItemVisitor& visit) {
    ForEachListed(settings, key.Get(), [&](const std::string& name, ULONGLONG written) {
        Remembered(
            settings, name, written,
            [&](const ItemVisitor& keep) {
                CRegistryKey item;
                bool opened = item.Open(key.Get(), name, KEY_READ | settings.view) == ERROR_SUCCESS;
                keep(name, text(item));
                return opened;
            },
            visit);
    });
}

void ReadSubkeyTexts(const CRegistryKey& key, const RegistryWatchSettings& settings,
                     const ItemVisitor& visit) {
    const char* value = settings.values ? settings.values : "";
    ReadSubkeyItems(
        key, settings, [value](const CRegistryKey& item) { return item.ReadText(value); }, visit);
}
