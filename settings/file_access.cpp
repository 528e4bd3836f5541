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

bool isFile(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Held by another program: a sharing or lock violation, or access denied on
// a file that is there and may be written (a scanner that opened it, a
// deletion still pending).
FileStatus statusOf(DWORD error, const char* path) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return FileStatus::Missing;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return FileStatus::Busy;
    case ERROR_ACCESS_DENIED: return isFile(path) && !isReadOnly(path) ? FileStatus::Busy : FileStatus::Failed;
    default: return FileStatus::Failed;
    }
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
FileStatus replaceFile(void*, const char* from, const char* to) {
    struct stat st {};
    if (stat(to, &st) == 0 && (st.st_mode & S_IWUSR) == 0) return FileStatus::Failed;
    return std::rename(from, to) == 0 ? FileStatus::Done : statusOf(errno);
}

FileStatus removeFile(void*, const char* path) { return std::remove(path) == 0 ? FileStatus::Done : statusOf(errno); }

void sleepFor(void*, unsigned milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

#endif

}  // namespace

FileAccess systemFileAccess() { return FileAccess{readFile, writeFile, replaceFile, removeFile, sleepFor, nullptr}; }

FileAccess& processFileAccess() {
    static FileAccess access = systemFileAccess();
    return access;
}
