#include "platform/xkb/KeySyms.h"

#include <X11/keysym.h>

namespace zg {

uint32_t keysymFor(Key key) {
    switch (key) {
        case Key::A:
            return XK_a;
        case Key::S:
            return XK_s;
        case Key::D:
            return XK_d;
        case Key::F:
            return XK_f;
        case Key::H:
            return XK_h;
        case Key::G:
            return XK_g;
        case Key::Z:
            return XK_z;
        case Key::X:
            return XK_x;
        case Key::C:
            return XK_c;
        case Key::V:
            return XK_v;
        case Key::B:
            return XK_b;
        case Key::Q:
            return XK_q;
        case Key::W:
            return XK_w;
        case Key::E:
            return XK_e;
        case Key::R:
            return XK_r;
        case Key::Y:
            return XK_y;
        case Key::T:
            return XK_t;
        case Key::Digit1:
            return XK_1;
        case Key::Digit2:
            return XK_2;
        case Key::Digit3:
            return XK_3;
        case Key::Digit4:
            return XK_4;
        case Key::Digit6:
            return XK_6;
        case Key::Digit5:
            return XK_5;
        case Key::Digit9:
            return XK_9;
        case Key::Digit7:
            return XK_7;
        case Key::Digit8:
            return XK_8;
        case Key::Digit0:
            return XK_0;
        case Key::O:
            return XK_o;
        case Key::U:
            return XK_u;
        case Key::I:
            return XK_i;
        case Key::P:
            return XK_p;
        case Key::L:
            return XK_l;
        case Key::J:
            return XK_j;
        case Key::K:
            return XK_k;
        case Key::N:
            return XK_n;
        case Key::M:
            return XK_m;
        case Key::Return:
            return XK_Return;
        case Key::Tab:
            return XK_Tab;
        case Key::Space:
            return XK_space;
        case Key::Backspace:
            return XK_BackSpace;
        case Key::Escape:
            return XK_Escape;
        case Key::Home:
            return XK_Home;
        case Key::PageUp:
            return XK_Page_Up;
        case Key::ForwardDelete:
            return XK_Delete;
        case Key::End:
            return XK_End;
        case Key::PageDown:
            return XK_Page_Down;
        case Key::ArrowLeft:
            return XK_Left;
        case Key::ArrowRight:
            return XK_Right;
        case Key::ArrowDown:
            return XK_Down;
        case Key::ArrowUp:
            return XK_Up;
    }
    return 0;
}

uint32_t keysymForCodePoint(char32_t c) {
    switch (c) {
        case U'\b':
            return XK_BackSpace;
        case U'\t':
            return XK_Tab;
        case U'\n':
        case U'\r':
            return XK_Return;
        case U'\x1b':
            return XK_Escape;
        case U'\x7f':
            return XK_Delete;
        default:
            break;
    }
    if (c < 0x20 || (c >= 0x80 && c < 0xa0)) return 0;
    // Latin-1 keysyms equal their code points; every other character has its Unicode keysym.
    return c < 0x100 ? c : 0x01000000 + c;
}

std::vector<char32_t> codePoints(std::string_view utf8) {
    std::vector<char32_t> out;
    size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int length = lead < 0x80                   ? 1
                           : lead >= 0xc2 && lead < 0xe0 ? 2
                           : lead >= 0xe0 && lead < 0xf0 ? 3
                           : lead >= 0xf0 && lead < 0xf5 ? 4
                                                         : 0;
        char32_t c = length == 1 ? lead : lead & (0x7f >> length);
        bool valid = length > 0 && i + length <= utf8.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            valid = (next & 0xc0) == 0x80;
            c = c << 6 | (next & 0x3f);
        }
        constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (valid && c >= kShortest[length] && c <= 0x10ffff && (c < 0xd800 || c > 0xdfff)) {
            out.push_back(c);
            i += length;
        } else {
            ++i;
        }
    }
    return out;
}

}  // namespace zg
