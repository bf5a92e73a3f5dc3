#include "FileStamps.h"
#include <cstdio>
#include <vector>

std::string FileSha256(const std::string& path) {
    CHandle file(::CreateFileA(path.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    BCRYPT_ALG_HANDLE opened = nullptr;
    if (!file || ::BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
        return std::string();
    CHashAlgorithmHandle algorithm(opened);
    BCRYPT_HASH_HANDLE made = nullptr;
    if (::BCryptCreateHash(algorithm.Get(), &made, nullptr, 0, nullptr, 0, 0) != 0)
        return std::string();
    CHashHandle hash(made);
    std::vector<UCHAR> buffer(64 * 1024);
    DWORD read = 0;
    for (;;) {
        if (!::ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            return std::string();
        if (read == 0)
            break;
        if (::BCryptHashData(hash.Get(), buffer.data(), read, 0) != 0)
            return std::string();
    }
    UCHAR digest[32];
    if (::BCryptFinishHash(hash.Get(), digest, sizeof digest, 0) != 0)
        return std::string();
    std::string text;
    char hex[3];
    for (UCHAR byte : digest)
        std::snprintf(hex, sizeof hex, "%02x", byte), text += hex;
    return text;
}

std::string CFileStamps::Read(const std::string& path) {
    // Attributes only: no sharing conflict with a program that has the file open.
    CHandle file(::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    FILE_BASIC_INFO basic;
    LARGE_INTEGER size;
    if (!file || !::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic) ||
        (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !::GetFileSizeEx(file.Get(), &size))
        return std::string();
    FILETIME write{basic.LastWriteTime.LowPart, static_cast<DWORD>(basic.LastWriteTime.HighPart)};
    SYSTEMTIME t{};
    ::FileTimeToSystemTime(&write, &t);
    char text[96];
    std::snprintf(text, sizeof text, "size=%llu;time=%04u-%02u-%02uT%02u:%02u:%02uZ",
                  static_cast<unsigned long long>(size.QuadPart), t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    if (!m_hash)
        return text;
    auto known = m_known.find(path);
    if (known == m_known.end() || known->second.size.QuadPart != size.QuadPart ||
        known->second.write.QuadPart != basic.LastWriteTime.QuadPart ||
        known->second.change.QuadPart != basic.ChangeTime.QuadPart) {
        std::string hash = FileSha256(path);
        if (hash.empty()) {
            m_known.erase(path);
            return text + std::string(";sha256=?");
        }
        known =
            m_known.insert_or_assign(path, Known{size, basic.LastWriteTime, basic.ChangeTime, hash}).first;
    }
    return text + (";sha256=" + known->second.hash);
}
