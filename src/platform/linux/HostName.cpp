#include "platform/HostName.h"

#include <unistd.h>

#include <climits>
#include <fstream>
#include <sstream>

namespace zg {
namespace {

// Undoes the quoting systemd writes: one pair of single or double quotes, backslash escapes.
std::string unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        out += value[i];
    }
    return out;
}

std::string readFile(const char* path) {
    std::ifstream in(path);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace

std::string prettyHostName(std::string_view machineInfo) {
    constexpr std::string_view key = "PRETTY_HOSTNAME=";
    std::string name;
    while (!machineInfo.empty()) {
        const size_t end = machineInfo.find('\n');
        std::string_view line = machineInfo.substr(0, end);
        if (line.starts_with(key)) name = unquote(line.substr(key.size()));
        machineInfo = end == std::string_view::npos ? "" : machineInfo.substr(end + 1);
    }
    return name;
}

std::string hostName() {
    if (std::string pretty = prettyHostName(readFile("/etc/machine-info")); !pretty.empty()) {
        return pretty;
    }
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) == 0 && name[0] != '\0') return name;
    return "Computer";
}

}  // namespace zg
