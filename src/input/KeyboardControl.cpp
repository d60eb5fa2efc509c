// The keyboard half of Input: text one character at a time, named keys with modifiers.
#include <unicode/locid.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <string>

#include "input/Graphemes.h"
#include "input/Input.h"
#include "input/KeyTables.h"

namespace zg {
namespace {

bool wellFormed(std::string_view utf8) {
    const auto size = static_cast<int32_t>(utf8.size());
    for (int32_t i = 0; i < size;) {
        UChar32 c;
        U8_NEXT(utf8.data(), i, size, c);
        if (c < 0) return false;
    }
    return true;
}

std::string lowerCase(std::string_view utf8) {
    std::string lower;
    icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())))
        .toLower(icu::Locale::getRoot())
        .toUTF8String(lower);
    return lower;
}

}  // namespace

void Input::text(std::string_view utf8) {
    for (std::string_view character : graphemes(utf8)) {
        // A CR LF pair is one character, and one line break: no layout has a key that types
        // the pair, so it presses Return like a lone CR or LF.
        if (character == "\n" || character == "\r" || character == "\r\n") {
            press(Key::Return, 0);
        } else if (wellFormed(character)) {  // a broken byte sequence would type garbage
            keyboard_.character(character, true);
            keyboard_.character(character, false);
        }
    }
}

void Input::key(std::string_view name, const std::vector<std::string>& mods) {
    const bool single = countGraphemes(name, 1) == 1;
    const std::string lower = single ? lowerCase(name) : std::string();
    std::optional<Key> code = namedKey(name);
    if (!code && single) code = ansiKey(lower);
    if (!code) {
        if (mods.empty()) text(name);
        return;
    }
    Modifiers modifiers = 0;
    for (const std::string& mod : mods) modifiers |= modifierFlag(mod);
    // An upper-case letter is its lower-case key with Shift; digits and names have no case.
    if (single && lower != name) modifiers |= kShift;
    press(*code, modifiers);
}

void Input::press(Key key, Modifiers modifiers) {
    keyboard_.key(key, modifiers, true);
    keyboard_.key(key, modifiers, false);
}

}  // namespace zg
