#include "ui/TrayMenu.h"

#include <charconv>
#include <cmath>

namespace zg::menu {

std::string speedTitle(double value) {
    // std::to_chars without a precision writes the shortest text that reads back as `value`.
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return std::string(digits, end) + "\u00d7";
}

bool speedTicked(double value, double speed) {
    return std::abs(value - speed) < 0.01;
}

}  // namespace zg::menu
