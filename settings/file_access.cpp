#include "settings/file_access.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

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

std::wstring wide(const char* utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), n);
    out.resize(out.size() - 1);
    return out;
}

std::string utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

// The full path in the form no MAX_PATH limit applies to.
std::wstring longPath(const char* path) {
    const std::wstring given = wide(path);
    const DWORD size = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (size == 0) return given;
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(given.c_str(), size, full.data(), nullptr));
    return wide(longPathForm(utf8(full)).c_str());
}

// Held by another program: a sharing or lock violation, a deletion still
// pending, or access denied on a file that is there and may be written (a
// scanner that opened it).
FileStatus statusOf(DWORD error, const std::wstring& path) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return FileStatus::Missing;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_DELETE_PENDING: return FileStatus::Busy;
    case ERROR_ACCESS_DENIED: {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        return accessDeniedStatus(attributes, attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0);
    }
    default: return FileStatus::Failed;
    }
}

FileStatus lastStatus(const std::wstring& path) { return statusOf(GetLastError(), path); }

constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

FileStatus readFile(void*, const char* path, std::string& out) {
    out.clear();
    const std::wstring name = longPath(path);
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, shareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lastStatus(name);
    FileStatus status = FileStatus::Done;
    char chunk[4096];
    DWORD got = 0;
    for (;;) {
        if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
            status = lastStatus(name);  // a locked range reads as busy
            break;
        }
        if (got == 0) break;
        out.append(chunk, got);
    }
    CloseHandle(file);
    return status;
}

// The link is followed by opening the file; the name the system gives the
// open file is where the settings live.
FileStatus locateFile(void*, const char* path, std::string& file, std::uint32_t& attributes) {
    const std::wstring name = longPath(path);
    const HANDLE handle = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, shareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const FileStatus status = lastStatus(name);
        // Something is there that leads nowhere (a link whose file is gone):
        // a new file in its place would end the link.
        if (status == FileStatus::Missing && GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES)
            return FileStatus::Failed;
        return status;
    }
    std::wstring final(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    if (n >= final.size()) {
        final.resize(n);
        n = GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    }
    final.resize(n < final.size() ? n : 0);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!ok) return FileStatus::Failed;
    // Unnamed (Wine names no path past MAX_PATH): a file that is no link is
    // the one asked for.
    if (final.empty()) {
        const DWORD own = GetFileAttributesW(name.c_str());
        if (own == INVALID_FILE_ATTRIBUTES || (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return FileStatus::Failed;
        final = name;
    }
    file = utf8(final);
    attributes = info.dwFileAttributes;
    return FileStatus::Done;
}

FileStatus writeFile(void*, const char* path, const std::string& text, std::uint32_t attributes) {
    const std::wstring name = longPath(path);
    // Whatever an earlier save left under this name goes first: CREATE_ALWAYS
    // refuses a hidden file unless asked for the attributes it has.
    if (!DeleteFileW(name.c_str())) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return statusOf(error, name);
    }
    const DWORD kept = attributes & FileAttribute::kept;
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lastStatus(name);
    DWORD written = 0;
    bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0 && written == text.size();
    // On the disk before the rename makes it the settings: a rename is not
    // written through by any flag of MoveFileExW.
    ok = FlushFileBuffers(file) != 0 && ok;
    ok = CloseHandle(file) != 0 && ok;
    return ok ? FileStatus::Done : FileStatus::Failed;
}

FileStatus moveFile(void*, const char* from, const char* to, bool replace) {
    const std::wstring target = longPath(to);
    if (MoveFileExW(longPath(from).c_str(), target.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0))
        return FileStatus::Done;
    return lastStatus(target);
}

FileStatus removeFile(void*, const char* path) {
    const std::wstring name = longPath(path);
    return DeleteFileW(name.c_str()) ? FileStatus::Done : lastStatus(name);
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

// No owner-write bit stands for Windows' read-only attribute.
FileStatus locateFile(void*, const char* path, std::string& file, std::uint32_t& attributes) {
    struct stat st {};
    if (lstat(path, &st) != 0) return statusOf(errno);
    char* real = realpath(path, nullptr);
    if (!real) return FileStatus::Failed;  // a link that leads nowhere
    file = real;
    std::free(real);
    if (stat(file.c_str(), &st) != 0) return statusOf(errno);
    attributes = (st.st_mode & S_IWUSR) == 0 ? FileAttribute::readOnly : 0;
    return FileStatus::Done;
}

FileStatus writeFile(void*, const char* path, const std::string& text, std::uint32_t) {
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return statusOf(errno);
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = std::fflush(file) == 0 && ok;
    ok = fsync(fileno(file)) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok ? FileStatus::Done : FileStatus::Failed;
}

// Without replacing: a second name that cannot be made where one is, then
// the first removed.
FileStatus moveFile(void*, const char* from, const char* to, bool replace) {
    if (replace) return std::rename(from, to) == 0 ? FileStatus::Done : statusOf(errno);
    if (link(from, to) != 0) return statusOf(errno);
    return unlink(from) == 0 ? FileStatus::Done : statusOf(errno);
}

FileStatus removeFile(void*, const char* path) { return std::remove(path) == 0 ? FileStatus::Done : statusOf(errno); }

void sleepFor(void*, unsigned milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

#endif

}  // namespace

std::string longPathForm(const std::string& full) {
    if (full.rfind("\\\\?\\", 0) == 0 || full.rfind("\\\\.\\", 0) == 0) return full;
    if (full.rfind("\\\\", 0) == 0) return "\\\\?\\UNC\\" + full.substr(2);  // \\server\share\...
    return "\\\\?\\" + full;
}

FileStatus accessDeniedStatus(std::uint32_t attributes, std::uint32_t attributesError) {
    constexpr std::uint32_t invalid = 0xFFFFFFFFu, directory = 0x10;
    constexpr std::uint32_t accessDenied = 5, deletePending = 303;
    if (attributes == invalid)
        return attributesError == accessDenied || attributesError == deletePending ? FileStatus::Busy
                                                                                   : FileStatus::Failed;
    return (attributes & (FileAttribute::readOnly | directory)) == 0 ? FileStatus::Busy : FileStatus::Failed;
}

FileAccess systemFileAccess() {
    return FileAccess{readFile, locateFile, writeFile, moveFile, removeFile, sleepFor, nullptr};
}

FileAccess& processFileAccess() {
    static FileAccess access = systemFileAccess();
    return access;
}
