// The file functions the settings code calls, in one record, so that a test
// can stand in for the file system and answer "busy" or fail any call.
// Another program often holds a file for a moment (a virus scanner checking
// a file just written, the search indexer, a sync client): such a file is
// busy, not gone, and is waited for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Unsupported: the call cannot do this on this drive (a network redirector,
// another file system); nothing changed, and a plain rename may.
enum class FileStatus { Done, Missing, Busy, Failed, Unsupported };

struct FileAccess {
    // The whole file.
    FileStatus (*read)(void* context, const char* path, std::string& out);
    // Creates or empties the file and writes `text` to the disk.
    FileStatus (*write)(void* context, const char* path, const std::string& text);
    // Puts `from` in the place of an existing `to`, which keeps what makes
    // it the user's file (hidden, its ACL, streams, compression), the
    // previous `to` going to `backup`. Missing: there is no `to` now (none
    // was there, or it went to `backup` and `from` could not follow), and
    // `from` is whole: a rename finishes the work. A `to` marked read-only
    // is refused.
    FileStatus (*replace)(void* context, const char* from, const char* to, const char* backup);
    // Renames `from` to `to`, replacing any `to`, written through.
    FileStatus (*move)(void* context, const char* from, const char* to);
    FileStatus (*remove)(void* context, const char* path);
    // True only when `path` is certainly there.
    bool (*exists)(void* context, const char* path);
    // The files in `path`'s folder whose names are its own followed by a
    // dot and more, newest first.
    std::vector<std::string> (*siblings)(void* context, const char* path);
    void (*sleep)(void* context, unsigned milliseconds);
    void* context;
};

// The system's own functions.
FileAccess systemFileAccess();
// What the settings code calls: the system's, unless a test put a stand-in
// here. GUI thread only, like the settings file.
FileAccess& processFileAccess();

// What a failed ReplaceFileW (given a backup name) left, from its error:
// Missing when `to` is gone and `from` whole (1177, or no `to` at all);
// Busy or Failed when both kept their names (`whenDenied` for the errors
// that mean `to` or `from` could not be taken away now); Unsupported for
// any other error, after which both files also keep their names.
FileStatus replaceFailureStatus(std::uint32_t error, FileStatus whenDenied);

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
