// Saving a file so that it is, whatever fails, crashes or holds it, the new
// text or the previous one, byte for byte.
//
// The text goes to one file of Morvi's own beside the file, under a fixed
// name no person would choose, is flushed to the disk, and is renamed over
// the file in one step. Nothing else beside the file is ever made, read or
// removed, and a start reads the file alone: what a crash leaves under the
// own name is never taken for settings, and the next save replaces it.
#pragma once

#include <string>

// What follows the saved file's name in the name of Morvi's own file.
inline constexpr const char* savingFileSuffix = ".morvi-save~";

// Saves `text` as the file `path` names: the one a link there points to,
// which stays a link; the file keeps its hidden and system attributes, and
// one marked read-only is refused. False when the file was not changed.
bool saveFileText(const char* path, const std::string& text);
