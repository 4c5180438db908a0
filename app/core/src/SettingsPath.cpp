#include "korvo/appcore/SettingsPath.h"

#include <unistd.h>

#include <vector>

namespace korvo {

namespace {

std::string& Override() {
    static std::string path;
    return path;
}

// The executable's full path, or empty when the link cannot be read.
std::string ExecutablePath() {
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        // readlink truncates silently; a full buffer may mean a longer path.
        if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(length));
        if (buffer.size() >= 65536) return {};
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::string GetSettingsPath() {
    if (!Override().empty()) return Override();
    std::string executable = ExecutablePath();
    size_t slash = executable.rfind('/');
    if (slash == std::string::npos) return "Account.ini";
    return executable.substr(0, slash + 1) + "Account.ini";
}

void SetSettingsPathOverride(std::string path) {
    Override() = std::move(path);
}

}  // namespace korvo
