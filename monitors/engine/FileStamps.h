// The stamps of files, as the places of single files report them: "size=12345;time=2026-12-07T17:30:05Z",
// the time of the last write in UTC (so that a change of time zone changes no stamp), and for a
// hashed stamp ";sha256=" and the content's SHA-256 in 64 lowercase hex digits.
//
// The content is read again only when the size, the time or the change time differs from the
// last reading's. The change time moves with every write and SetFileTime cannot set it, so a
// rewrite that keeps size and time is still seen, while a folder that changes often (System32)
// costs one opening per file.
#pragma once
#include "../../framework/AfxHandle.h"
#include <map>
#include <string>

class CFileStamps {
public:
    explicit CFileStamps(bool hash) : m_hash(hash) {}
    // The stamp of the file at `path` (code page); empty when it is missing or a folder. A
    // content that cannot be read has "sha256=?" and is read again next time.
    std::string Read(const std::string& path);

private:
    struct Known {
        LARGE_INTEGER size, write, change;
        std::string hash;
    };
    bool m_hash;
    std::map<std::string, Known> m_known;
};

// The SHA-256 of the file's content in lowercase hex; empty when it cannot be read.
std::string FileSha256(const std::string& path);
