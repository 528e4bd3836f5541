#include "settings/settings_save.h"

#include "settings/file_access.h"
#include "settings/settings.h"

bool saveFileText(const char* path, const std::string& text) {
    const FileAccess& files = processFileAccess();
    BusyWait wait;  // one bound for the whole save
    // No file yet: it is made under the name given, and only while none is
    // there (a link, or a file, made meanwhile stays).
    std::string file = path;
    std::uint32_t attributes = 0;
    FileStatus status =
        retryWhileBusy(files, wait, [&] { return files.locate(files.context, path, file, attributes); });
    const bool replace = status == FileStatus::Done;
    // A file the user marked read-only keeps its bytes.
    if ((!replace && status != FileStatus::Missing) || (attributes & FileAttribute::readOnly) != 0) return false;
    const std::string own = file + savingFileSuffix;
    status = retryWhileBusy(files, wait, [&] { return files.write(files.context, own.c_str(), text, attributes); });
    if (status == FileStatus::Done)
        status =
            retryWhileBusy(files, wait, [&] { return files.move(files.context, own.c_str(), file.c_str(), replace); });
    if (status == FileStatus::Done) return true;
    // A scanner may be holding the fresh file: its removal waits on its own,
    // or a save that spent its wait would leave it behind until the next.
    BusyWait cleanUp;
    retryWhileBusy(files, cleanUp, [&] { return files.remove(files.context, own.c_str()); });
    return false;
}

bool saveSettingsTo(const Settings& s, const char* path) { return saveFileText(path, formatSettingsFile(s)); }
