// Prints the handle count of the process that owns the dialog window TITLE, for bench/scale.py.
//   handlecount TITLE
#include <windows.h>
#include <cstdio>
#include <vector>

namespace {
// The process's handles from the system's handle table (SystemHandleInformation): Wine's
// GetProcessHandleCount gives 0 for another process.
long CountHandles(DWORD pid) {
    struct Entry {
        USHORT pid, rest[3]; // the table keeps 16 bits of the id
        PVOID object;
        ACCESS_MASK access;
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<char> table(1 << 16);
    LONG status = -1;
    while (query && (status = query(16, table.data(), static_cast<ULONG>(table.size()), nullptr)) ==
                        static_cast<LONG>(0xC0000004L)) // STATUS_INFO_LENGTH_MISMATCH
        table.resize(table.size() * 2);
    auto* entries = reinterpret_cast<Entry*>(table.data() + sizeof(void*));
    long count = 0;
    for (ULONG i = 0, total = *reinterpret_cast<ULONG*>(table.data()); status == 0 && i < total; ++i)
        count += entries[i].pid == static_cast<USHORT>(pid);
    return status == 0 ? count : -1;
}

} // namespace

int main(int argc, char** argv) {
    HWND w = argc == 2 ? ::FindWindowA("#32770", argv[1]) : nullptr;
    DWORD pid = 0;
    if (!w || !::GetWindowThreadProcessId(w, &pid))
        return 1;
    long count = CountHandles(pid);
    return count < 0 || std::printf("%ld\n", count) < 0;
}
