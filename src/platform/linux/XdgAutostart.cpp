#include "platform/linux/XdgAutostart.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include "config/Files.h"

namespace zg {
namespace fs = std::filesystem;

namespace {

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t\r") - first + 1));
}

}  // namespace

std::string desktopExecArgument(const std::string& argument) {
    // Inside double quotes `"`, `` ` ``, `$` and `\` take a backslash; the Exec value, as a
    // string value, then doubles every backslash; `%` introduces field codes, so it doubles.
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$') {
            quoted += "\\\\";
        } else if (c == '\\') {
            quoted += "\\\\\\";
        } else if (c == '%') {
            quoted += '%';
        }
        quoted += c;
    }
    return quoted + "\"";
}

XdgAutostart::XdgAutostart(fs::path entry, fs::path program)
    : entry_(std::move(entry)), program_(std::move(program)) {}

fs::path XdgAutostart::userEntry() {
    return configHome() / "autostart" / "zephyrglint.desktop";
}

bool XdgAutostart::enabled() const {
    std::ifstream file(entry_);
    if (!file) return false;
    // Sessions skip entries marked hidden or, in GNOME's dialect, disabled.
    bool inEntry = false;
    for (std::string line; std::getline(file, line);) {
        line = trimmed(line);
        if (line.starts_with('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const auto eq = line.find('=');
        if (!inEntry || eq == std::string::npos) continue;
        const std::string key = trimmed(std::string_view(line).substr(0, eq));
        const std::string value = trimmed(std::string_view(line).substr(eq + 1));
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false")) {
            return false;
        }
    }
    return true;
}

bool XdgAutostart::setEnabled(bool on, std::string& error) {
    if (!on) {
        std::error_code removal;
        fs::remove(entry_, removal);
        if (removal) error = "cannot remove " + entry_.string() + ": " + removal.message();
        return !removal;
    }
    std::ostringstream entry;
    entry << "[Desktop Entry]\n"
          << "Type=Application\n"
          << "Name=ZephyrGlint\n"
          << "Comment=Lets a phone drive this computer\n"
          << "Exec=" << desktopExecArgument(program_.string()) << " --tray\n"
          << "Terminal=false\n"
          << "X-GNOME-Autostart-enabled=true\n";
    if (FileError why; !replaceFile(entry_, entry.str(), why)) {
        error = "cannot write " + entry_.string() + ": " + std::strerror(why.code);
        return false;
    }
    return true;
}

}  // namespace zg
