// Helpers shared by the tests: a scripted tick source and scratch folders.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "engine/stopwatch.h"

// A keyboard snapshot, 256 bytes with bit 7 set for the keys that are down.
struct Keys {
    unsigned char bytes[256] = {};
    Keys& down(int code) {
        bytes[code] = 0x80;
        return *this;
    }
};

// Every read returns `now`, then advances it by `step`.
struct ScriptedClock {
    Tick now = 0;
    Tick step = 0;
    int reads = 0;
};

void installClock(Stopwatch& sw, ScriptedClock& clock);

// A fresh empty folder under the system's temporary folder, removed again when
// the object goes out of scope.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const char* name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// A Morvi.ini of the program's own format (the no-file defaults), with the
// lines of the given keys replaced.
std::string iniWith(const std::vector<std::pair<const char*, std::string>>& changes);

std::string readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::string& bytes);
