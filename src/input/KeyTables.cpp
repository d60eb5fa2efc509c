#include "input/KeyTables.h"

#include <algorithm>
#include <array>
#include <utility>

namespace zg {
namespace {

template <typename Value, size_t N>
std::optional<Value> find(const std::array<std::pair<std::string_view, Value>, N>& table,
                          std::string_view name) {
    const auto row = std::ranges::find(table, name, &std::pair<std::string_view, Value>::first);
    if (row == table.end()) return std::nullopt;
    return row->second;
}

constexpr std::array<std::pair<std::string_view, Key>, 15> kNamed{{
    {"Escape", Key::Escape},
    {"Tab", Key::Tab},
    {"Backspace", Key::Backspace},
    {"Enter", Key::Return},
    {"Space", Key::Space},
    {" ", Key::Space},
    {"ArrowLeft", Key::ArrowLeft},
    {"ArrowRight", Key::ArrowRight},
    {"ArrowDown", Key::ArrowDown},
    {"ArrowUp", Key::ArrowUp},
    {"Delete", Key::ForwardDelete},
    {"Home", Key::Home},
    {"End", Key::End},
    {"PageUp", Key::PageUp},
    {"PageDown", Key::PageDown},
}};

constexpr std::array<std::pair<std::string_view, Key>, 36> kAnsi{{
    {"a", Key::A},      {"b", Key::B},      {"c", Key::C},      {"d", Key::D},
    {"e", Key::E},      {"f", Key::F},      {"g", Key::G},      {"h", Key::H},
    {"i", Key::I},      {"j", Key::J},      {"k", Key::K},      {"l", Key::L},
    {"m", Key::M},      {"n", Key::N},      {"o", Key::O},      {"p", Key::P},
    {"q", Key::Q},      {"r", Key::R},      {"s", Key::S},      {"t", Key::T},
    {"u", Key::U},      {"v", Key::V},      {"w", Key::W},      {"x", Key::X},
    {"y", Key::Y},      {"z", Key::Z},      {"0", Key::Digit0}, {"1", Key::Digit1},
    {"2", Key::Digit2}, {"3", Key::Digit3}, {"4", Key::Digit4}, {"5", Key::Digit5},
    {"6", Key::Digit6}, {"7", Key::Digit7}, {"8", Key::Digit8}, {"9", Key::Digit9},
}};

constexpr std::array<std::pair<std::string_view, Modifiers>, 4> kModifiers{{
    {"ctrl", kCtrl},
    {"alt", kAlt},
    {"shift", kShift},
    {"win", kWin},
}};

}  // namespace

std::optional<Key> namedKey(std::string_view name) {
    return find(kNamed, name);
}

std::optional<Key> ansiKey(std::string_view character) {
    return find(kAnsi, character);
}

Modifiers modifierFlag(std::string_view name) {
    return find(kModifiers, name).value_or(0);
}

}  // namespace zg
