// Another program holding a file open without sharing, as an editor or a backup tool may hold
// the log: nobody else can open it until the handle is closed.
#pragma once
#include "framework/AfxHandle.h"
#include <string>

inline CHandle HoldFile(const std::string& path) {
    return CHandle(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
}
