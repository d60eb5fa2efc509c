// GoogleTest first: it cannot take the macros Xlib defines (None, Bool).
#include "X11Fixture.h"

#include <X11/Xlib.h>

#include "platform/x11/X11Pointer.h"
#include "platform/x11/XSettings.h"

#include <optional>

namespace zg::test {
namespace {

// Builds XSETTINGS data as a settings manager publishes it.
class Settings {
public:
    explicit Settings(bool bigEndian = false) : big_(bigEndian) {}

    Settings& integer(std::string_view name, int32_t value) {
        return header(0, name).card(static_cast<uint32_t>(value), 4);
    }
    Settings& string(std::string_view name, std::string_view value, uint32_t length = 0) {
        return header(1, name).card(length ? length : value.size(), 4).text(value);
    }
    Settings& color(std::string_view name) { return header(2, name).card(~0u, 4).card(~0u, 4); }
    // The whole data, claiming `count` settings, by default as many as there are.
    std::vector<uint8_t> bytes(std::optional<uint32_t> count = {}) const {
        Settings all(big_);
        all.out_ = {uint8_t(big_ ? 1 : 0), 0, 0, 0};
        all.card(7, 4).card(count.value_or(count_), 4);  // serial and count
        all.out_.insert(all.out_.end(), out_.begin(), out_.end());
        return all.out_;
    }

private:
    Settings& header(uint8_t type, std::string_view name) {
        ++count_;
        out_.insert(out_.end(), {type, 0});
        return card(name.size(), 2).text(name).card(0, 4);  // and the last-change serial
    }
    Settings& card(uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            const int shift = 8 * (big_ ? size - 1 - i : i);
            out_.push_back(static_cast<uint8_t>(value >> shift));
        }
        return *this;
    }
    Settings& text(std::string_view s) {
        out_.insert(out_.end(), s.begin(), s.end());
        out_.resize((out_.size() + 3) / 4 * 4);
        return *this;
    }

    bool big_;
    uint32_t count_ = 0;
    std::vector<uint8_t> out_;
};

constexpr std::string_view kDoubleClick = "Net/DoubleClickTime";

TEST(XSettingsData, FindsAnIntegerPastOtherSettingsInEitherByteOrder) {
    for (bool big : {false, true}) {
        const auto data = Settings(big)
                              .string("Net/ThemeName", "Adwaita")
                              .color("Gtk/Color")
                              .integer(kDoubleClick, 250)
                              .integer("Net/Negative", -3)
                              .bytes();
        EXPECT_EQ(xsettingsInteger(data, kDoubleClick), 250) << big;
        EXPECT_EQ(xsettingsInteger(data, "Net/Negative"), -3) << big;
        EXPECT_EQ(xsettingsInteger(data, "Net/ThemeName"), std::nullopt) << big;
        EXPECT_EQ(xsettingsInteger(data, "Net/Missing"), std::nullopt) << big;
    }
}

TEST(XSettingsData, MalformedDataGivesNothing) {
    const auto data = Settings().string("A", "xyz").integer(kDoubleClick, 250).bytes();
    for (size_t size = 0; size < data.size(); ++size) {
        EXPECT_EQ(xsettingsInteger(std::span(data).first(size), kDoubleClick), std::nullopt)
            << size;
    }
    const auto lyingCount = Settings().integer("A", 1).bytes(0xffffffff);
    EXPECT_EQ(xsettingsInteger(lyingCount, kDoubleClick), std::nullopt);
    const auto hugeString =
        Settings().string("A", "x", 0xfffffff0).integer(kDoubleClick, 250).bytes();
    EXPECT_EQ(xsettingsInteger(hugeString, kDoubleClick), std::nullopt);
    auto unknownOrder = Settings().integer(kDoubleClick, 250).bytes();
    unknownOrder[0] = 7;
    EXPECT_EQ(xsettingsInteger(unknownOrder, kDoubleClick), std::nullopt);
}

using DoubleClickTest = X11Fixture;

TEST_F(DoubleClickTest, ComesFromTheSettingsManagerWhenItGivesAPlausibleValue) {
    X11Pointer pointer(*display);
    EXPECT_EQ(pointer.doubleClickInterval(), X11Pointer::kDefaultDoubleClick);  // no manager

    Display* dpy = recorder->display();
    const Window manager = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    const Atom property = XInternAtom(dpy, "_XSETTINGS_SETTINGS", False);
    XSetSelectionOwner(dpy, XInternAtom(dpy, "_XSETTINGS_S0", False), manager, CurrentTime);
    const auto publish = [&](const std::vector<uint8_t>& data) {
        XChangeProperty(dpy, manager, property, property, 8, PropModeReplace, data.data(),
                        static_cast<int>(data.size()));
        XSync(dpy, False);
    };
    publish(Settings().integer(kDoubleClick, 250).bytes());
    EXPECT_EQ(pointer.doubleClickInterval(), 0.25);
    publish(Settings().integer(kDoubleClick, 600000).bytes());
    EXPECT_EQ(pointer.doubleClickInterval(), X11Pointer::kDefaultDoubleClick);
    publish({1, 2, 3});
    EXPECT_EQ(pointer.doubleClickInterval(), X11Pointer::kDefaultDoubleClick);
}

}  // namespace
}  // namespace zg::test
