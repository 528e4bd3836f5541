// The file functions the settings code calls, in one record, so that a test
// can stand in for the file system and fail, hold or cut short any call.
// Another program often holds a file for a moment (a virus scanner checking
// a file just written, the search indexer, a sync client): such a file is
// busy, not gone, and is waited for.
//
// Paths are UTF-8. On Windows every call takes the path's full form, with
// the \\?\ prefix, so a folder path of any length that Windows allows works
// alike for reading and saving.
#pragma once

#include <cstdint>
#include <string>

enum class FileStatus { Done, Missing, Busy, Failed };

// The attributes of a file that a save keeps (Windows' values; elsewhere
// readOnly stands for a file its owner may not write).
namespace FileAttribute {
inline constexpr std::uint32_t readOnly = 0x1, hidden = 0x2, system = 0x4;
inline constexpr std::uint32_t kept = hidden | system;
}  // namespace FileAttribute

struct FileAccess {
    // The whole file.
    FileStatus (*read)(void* context, const char* path, std::string& out);
    // The file that `path` names, in full: the one a link at `path` points
    // to, else `path` itself, and its attributes (0 when there is none:
    // Missing). Failed: a link whose file cannot be found.
    FileStatus (*locate)(void* context, const char* path, std::string& file, std::uint32_t& attributes);
    // Makes `path` anew with `attributes` (those of FileAttribute::kept) and
    // `text`, on the disk when it answers Done.
    FileStatus (*write)(void* context, const char* path, const std::string& text, std::uint32_t attributes);
    // Renames `from` to `to` in one step, replacing any `to` when `replace`;
    // else a `to` that is there stays, and the rename fails.
    FileStatus (*move)(void* context, const char* from, const char* to, bool replace);
    FileStatus (*remove)(void* context, const char* path);
    void (*sleep)(void* context, unsigned milliseconds);
    void* context;
};

// The system's own functions.
FileAccess systemFileAccess();
// What the settings code calls: the system's, unless a test put a stand-in
// here. GUI thread only, like the settings file.
FileAccess& processFileAccess();

// A full Windows path in the \\?\ form, which takes any length Windows
// allows: C:\x as \\?\C:\x, \\server\share\x as \\?\UNC\server\share\x.
// Only a full path may carry it: Windows then changes nothing in it.
std::string longPathForm(const std::string& full);

// What "access denied" means on Windows, from what the attributes of the
// same path say (`attributes` all ones: the query failed, with
// `attributesError`): a file that is there and may be written is held by
// another program, and so is one pending deletion, which refuses both.
FileStatus accessDeniedStatus(std::uint32_t attributes, std::uint32_t attributesError);

// How long one load or one save waits in all for busy files, sleeping
// between tries (10 ms, then twice as long each time, at most 200 ms),
// before it gives up.
inline constexpr unsigned busyWaitLimitMs = 1000;

// What one load or save has left of its wait. Make one per load or save.
struct BusyWait {
    unsigned left = busyWaitLimitMs;
    unsigned pause = 10;
};

// Runs `attempt` again while it answers Busy and the wait has time left.
template <typename Attempt>
FileStatus retryWhileBusy(const FileAccess& files, BusyWait& wait, Attempt attempt) {
    for (;;) {
        const FileStatus status = attempt();
        if (status != FileStatus::Busy || wait.left == 0) return status;
        const unsigned step = wait.pause < wait.left ? wait.pause : wait.left;
        files.sleep(files.context, step);
        wait.left -= step;
        wait.pause = wait.pause * 2 < 200 ? wait.pause * 2 : 200;
    }
}
