#include "platform/portal/EvdevKeys.h"

#include <linux/input-event-codes.h>

namespace zg {

int evdevCodeFor(Key key) {
    switch (key) {
        case Key::A:
            return KEY_A;
        case Key::B:
            return KEY_B;
        case Key::C:
            return KEY_C;
        case Key::D:
            return KEY_D;
        case Key::E:
            return KEY_E;
        case Key::F:
            return KEY_F;
        case Key::G:
            return KEY_G;
        case Key::H:
            return KEY_H;
        case Key::I:
            return KEY_I;
        case Key::J:
            return KEY_J;
        case Key::K:
            return KEY_K;
        case Key::L:
            return KEY_L;
        case Key::M:
            return KEY_M;
        case Key::N:
            return KEY_N;
        case Key::O:
            return KEY_O;
        case Key::P:
            return KEY_P;
        case Key::Q:
            return KEY_Q;
        case Key::R:
            return KEY_R;
        case Key::S:
            return KEY_S;
        case Key::T:
            return KEY_T;
        case Key::U:
            return KEY_U;
        case Key::V:
            return KEY_V;
        case Key::W:
            return KEY_W;
        case Key::X:
            return KEY_X;
        case Key::Y:
            return KEY_Y;
        case Key::Z:
            return KEY_Z;
        case Key::Digit0:
            return KEY_0;
        case Key::Digit1:
            return KEY_1;
        case Key::Digit2:
            return KEY_2;
        case Key::Digit3:
            return KEY_3;
        case Key::Digit4:
            return KEY_4;
        case Key::Digit5:
            return KEY_5;
        case Key::Digit6:
            return KEY_6;
        case Key::Digit7:
            return KEY_7;
        case Key::Digit8:
            return KEY_8;
        case Key::Digit9:
            return KEY_9;
        case Key::Return:
            return KEY_ENTER;
        case Key::Tab:
            return KEY_TAB;
        case Key::Space:
            return KEY_SPACE;
        case Key::Backspace:
            return KEY_BACKSPACE;
        case Key::Escape:
            return KEY_ESC;
        case Key::Home:
            return KEY_HOME;
        case Key::PageUp:
            return KEY_PAGEUP;
        case Key::ForwardDelete:
            return KEY_DELETE;
        case Key::End:
            return KEY_END;
        case Key::PageDown:
            return KEY_PAGEDOWN;
        case Key::ArrowLeft:
            return KEY_LEFT;
        case Key::ArrowRight:
            return KEY_RIGHT;
        case Key::ArrowDown:
            return KEY_DOWN;
        case Key::ArrowUp:
            return KEY_UP;
    }
    return 0;
}

int evdevCodeFor(ModifierFlag modifier) {
    switch (modifier) {
        case kShift:
            return KEY_LEFTSHIFT;
        case kCtrl:
            return KEY_LEFTCTRL;
        case kAlt:
            return KEY_LEFTALT;
        case kWin:
            return KEY_LEFTMETA;
    }
    return 0;
}

}  // namespace zg
