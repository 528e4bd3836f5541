#include "settings/file_access.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#endif

namespace {

// Names, newest first; among files of one time, by name.
template <typename Found>
std::vector<std::string> newestFirst(std::vector<Found>& found) {
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.written != b.written ? a.written > b.written : a.name < b.name;
    });
    std::vector<std::string> names;
    for (const Found& f : found) names.push_back(f.name);
    return names;
}

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

FileStatus replaceFile(void*, const char* from, const char* to, const char* backup) {
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
    if (ReplaceFileW(replaced.c_str(), fullPath(from).c_str(), fullPath(backup).c_str(), flags, nullptr, nullptr))
        return FileStatus::Done;
    const DWORD error = GetLastError();
    return replaceFailureStatus(error, statusOf(ERROR_ACCESS_DENIED, to));
}

FileStatus moveFile(void*, const char* from, const char* to) {
    if (isReadOnly(to)) return FileStatus::Failed;
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return FileStatus::Done;
    return statusOf(GetLastError(), to);
}

FileStatus removeFile(void*, const char* path) {
    return DeleteFileA(path) ? FileStatus::Done : statusOf(GetLastError(), path);
}

bool fileExists(void*, const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::string> siblingFiles(void*, const char* path) {
    struct Found {
        std::string name;
        ULONGLONG written;
    };
    std::vector<Found> found;
    const std::string pattern = std::string(path) + ".*";
    WIN32_FIND_DATAA data;
    const HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        const std::string::size_type slash = std::string(path).find_last_of("\\/");
        const std::string folder = slash == std::string::npos ? std::string() : std::string(path, slash + 1);
        const std::string own = slash == std::string::npos ? std::string(path) : std::string(path + slash + 1);
        do {
            // The pattern also matches short names; only the long one counts.
            const std::string name = data.cFileName;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || name.size() <= own.size() + 1 ||
                CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(), static_cast<int>(own.size() + 1),
                               (own + ".").c_str(), -1) != CSTR_EQUAL)
                continue;
            found.push_back({folder + name, (ULONGLONG{data.ftLastWriteTime.dwHighDateTime} << 32) |
                                                data.ftLastWriteTime.dwLowDateTime});
        } while (FindNextFileA(search, &data));
        FindClose(search);
    }
    return newestFirst(found);
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

// A file here has no identity beyond its inode, which a rename gives anew;
// the rename is atomic, so no backup is made.
FileStatus replaceFile(void* context, const char* from, const char* to, const char*) {
    struct stat st {};
    if (stat(to, &st) != 0) return statusOf(errno);
    return moveFile(context, from, to);
}

FileStatus removeFile(void*, const char* path) { return std::remove(path) == 0 ? FileStatus::Done : statusOf(errno); }

bool fileExists(void*, const char* path) {
    struct stat st {};
    return stat(path, &st) == 0;
}

std::vector<std::string> siblingFiles(void*, const char* path) {
    struct Found {
        std::string name;
        long long written;
    };
    std::vector<Found> found;
    const std::string whole(path);
    const std::string::size_type slash = whole.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : whole.substr(0, slash);
    const std::string prefix = (slash == std::string::npos ? whole : whole.substr(slash + 1)) + ".";
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
            const std::string full = slash == std::string::npos ? name : folder + "/" + name;
            struct stat st {};
            if (stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            found.push_back({full, static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec});
        }
        closedir(dir);
    }
    return newestFirst(found);
}

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

FileStatus replaceFailureStatus(std::uint32_t error, FileStatus whenDenied) {
    switch (error) {
    case 2:     // ERROR_FILE_NOT_FOUND: no `to` yet
    case 3:     // ERROR_PATH_NOT_FOUND
    case 1177:  // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2: `to` went to the backup name
        return FileStatus::Missing;
    case 32:    // ERROR_SHARING_VIOLATION
    case 33:    // ERROR_LOCK_VIOLATION
    case 303:   // ERROR_DELETE_PENDING
    case 1176:  // ERROR_UNABLE_TO_MOVE_REPLACEMENT: with a backup name both kept theirs; `from` is held
        return FileStatus::Busy;
    case 5:     // ERROR_ACCESS_DENIED
    case 1175:  // ERROR_UNABLE_TO_REMOVE_REPLACED: nothing changed, `to` could not be taken away
        return whenDenied;
    default: return FileStatus::Unsupported;
    }
}

FileAccess systemFileAccess() {
    return FileAccess{readFile,   writeFile,    replaceFile, moveFile, removeFile,
                      fileExists, siblingFiles, sleepFor,    nullptr};
}

FileAccess& processFileAccess() {
    static FileAccess access = systemFileAccess();
    return access;
}
