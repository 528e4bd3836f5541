#include "tests/test_support.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>

#include "settings/settings.h"

namespace {

Tick readScripted(void* context) {
    auto* clock = static_cast<ScriptedClock*>(context);
    ++clock->reads;
    const Tick t = clock->now;
    clock->now += clock->step;
    return t;
}

}  // namespace

void installClock(Stopwatch& sw, ScriptedClock& clock) { sw.clock = TickSource{readScripted, &clock}; }

ScratchDir::ScratchDir() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::ostringstream name;
    name << "morvi-test-" << stamp << "-" << counter++;
    path_ = std::filesystem::temp_directory_path() / name.str();
    std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string iniWith(const std::vector<std::pair<const char*, std::string>>& changes) {
    Settings s{};
    applyNoFileDefaults(s);
    std::string text = formatSettingsFile(s);
    for (const auto& [key, value] : changes) {
        const std::string prefix = std::string(key) + "=";
        const std::size_t begin = text.rfind(prefix, 0) == 0 ? 0 : text.find("\n" + prefix) + 1;
        const std::size_t end = text.find("\r\n", begin);
        text.replace(begin, end - begin, prefix + value);
    }
    return text;
}
