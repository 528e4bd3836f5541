#include "file_access.h"

#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#endif

namespace {

#ifdef _WIN32

bool isReadOnly(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// Held by another program: a sharing or lock violation, a deletion still
// pending, or access denied on a file that is there and may be written (a
// scanner that opened it).
FileStatus statusOf(DWORD error, const char* path) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return FileStatus::Missing;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_DELETE_PENDING: return FileStatus::Busy;
    case ERROR_ACCESS_DENIED: {
        const DWORD attributes = GetFileAttributesA(path);
        return accessDeniedStatus(attributes, attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0);
    }
    default: return FileStatus::Failed;
    }
}

// ReplaceFileW wants full paths.
std::wstring fullPath(const char* path) {
    const int n = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    std::wstring relative(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, relative.data(), n);
    const DWORD size = GetFullPathNameW(relative.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(relative.c_str(), size, full.data(), nullptr));
    return full;
}

FileStatus readFile(void*, const char* path, std::string& out) {
    out.clear();
    const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return statusOf(GetLastError(), path);
    FileStatus status = FileStatus::Done;
    char chunk[4096];
    DWORD got = 0;
    for (;;) {
        if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
            status = statusOf(GetLastError(), path);  // a locked range reads as busy
            break;
        }
        if (got == 0) break;
        out.append(chunk, got);
    }
    CloseHandle(file);
    return status;
}

FileStatus writeFile(void*, const char* path, const std::string& text) {
    const HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return statusOf(GetLastError(), path);
    DWORD written = 0;
    bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0 && written == text.size();
    ok = FlushFileBuffers(file) != 0 && ok;
    ok = CloseHandle(file) != 0 && ok;
    return ok ? FileStatus::Done : FileStatus::Failed;
}

FileStatus replaceFile(void*, const char* from, const char* to) {
    // A file the user marked read-only keeps its bytes.
    if (isReadOnly(to)) return FileStatus::Failed;
    // Asked first whether `to` may be taken away now: a ReplaceFileW that
    // fails on a held file can leave files of its own behind (Wine's does).
    const std::wstring replaced = fullPath(to);
    const HANDLE probe =
        CreateFileW(replaced.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return statusOf(GetLastError(), to);
    CloseHandle(probe);
    const DWORD flags = REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS;
    if (ReplaceFileW(replaced.c_str(), fullPath(from).c_str(), nullptr, flags, nullptr, nullptr))
        return FileStatus::Done;
    switch (const DWORD error = GetLastError()) {
    // Without a backup name this leaves `to` gone and `from` whole: the
    // first save's rename finishes the work.
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT: return FileStatus::Missing;
    // Nothing changed: `to` could not be taken away, as when held.
    case ERROR_UNABLE_TO_REMOVE_REPLACED: return statusOf(ERROR_ACCESS_DENIED, to);
    default: return statusOf(error, to);
    }
}

FileStatus moveFile(void*, const char* from, const char* to) {
    if (isReadOnly(to)) return FileStatus::Failed;
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return FileStatus::Done;
    return statusOf(GetLastError(), to);
}

FileStatus removeFile(void*, const char* path) {
    return DeleteFileA(path) ? FileStatus::Done : statusOf(GetLastError(), path);
}

void sleepFor(void*, unsigned milliseconds) { Sleep(milliseconds); }

#else

FileStatus statusOf(int error) {
    return error == ENOENT || error == ENOTDIR ? FileStatus::Missing : FileStatus::Failed;
}

FileStatus readFile(void*, const char* path, std::string& out) {
    out.clear();
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return statusOf(errno);
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) out.append(chunk, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? FileStatus::Failed : FileStatus::Done;
}

FileStatus writeFile(void*, const char* path, const std::string& text) {
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return statusOf(errno);
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = std::fflush(file) == 0 && ok;
    ok = fsync(fileno(file)) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok ? FileStatus::Done : FileStatus::Failed;
}

// No owner-write bit stands for Windows' read-only attribute, which a rename
// here would not respect.
FileStatus moveFile(void*, const char* from, const char* to) {
    struct stat st {};
    if (stat(to, &st) == 0 && (st.st_mode & S_IWUSR) == 0) return FileStatus::Failed;
    return std::rename(from, to) == 0 ? FileStatus::Done : statusOf(errno);
}

// A file here has no identity beyond its inode, which a rename gives anew.
FileStatus replaceFile(void* context, const char* from, const char* to) {
    struct stat st {};
    if (stat(to, &st) != 0) return statusOf(errno);
    return moveFile(context, from, to);
}

FileStatus removeFile(void*, const char* path) { return std::remove(path) == 0 ? FileStatus::Done : statusOf(errno); }

void sleepFor(void*, unsigned milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

#endif

}  // namespace

FileStatus accessDeniedStatus(std::uint32_t attributes, std::uint32_t attributesError) {
    constexpr std::uint32_t invalid = 0xFFFFFFFFu, readOnly = 0x1, directory = 0x10;
    constexpr std::uint32_t accessDenied = 5, deletePending = 303;
    if (attributes == invalid)
        return attributesError == accessDenied || attributesError == deletePending ? FileStatus::Busy
                                                                                   : FileStatus::Failed;
    return (attributes & (readOnly | directory)) == 0 ? FileStatus::Busy : FileStatus::Failed;
}

FileAccess systemFileAccess() {
    return FileAccess{readFile, writeFile, replaceFile, moveFile, removeFile, sleepFor, nullptr};
}

FileAccess& processFileAccess() {
    static FileAccess access = systemFileAccess();
    return access;
}
