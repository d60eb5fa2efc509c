#include "input/Graphemes.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <memory>

namespace zg {
namespace {

// Calls `each(begin, end)` with the byte offsets of every character of `utf8`, in order,
// until it returns false.
template <typename Each>
void walk(std::string_view utf8, Each each) {
    if (utf8.empty()) return;
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    UText text = UTEXT_INITIALIZER;
    utext_openUTF8(&text, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
    if (characters && U_SUCCESS(status)) characters->setText(&text, status);
    if (characters && U_SUCCESS(status)) {
        int32_t begin = characters->first();
        for (int32_t end = characters->next(); end != icu::BreakIterator::DONE;
             end = characters->next()) {
            if (!each(begin, end)) break;
            begin = end;
        }
    } else {
        // Without ICU's break rules (its data failed to load) code points are the best guess.
        const auto size = static_cast<int32_t>(utf8.size());
        for (int32_t begin = 0; begin < size;) {
            int32_t end = begin;
            U8_FWD_1(utf8.data(), end, size);
            if (!each(begin, end)) break;
            begin = end;
        }
    }
    utext_close(&text);
}

}  // namespace

std::vector<std::string_view> graphemes(std::string_view utf8) {
    std::vector<std::string_view> characters;
    walk(utf8, [&](int32_t begin, int32_t end) {
        characters.push_back(utf8.substr(begin, end - begin));
        return true;
    });
    return characters;
}

size_t countGraphemes(std::string_view utf8, size_t limit) {
    size_t count = 0;
    walk(utf8, [&](int32_t, int32_t) { return ++count <= limit; });
    return count;
}

}  // namespace zg
