#include "platform/x11/XSettings.h"

#include <X11/Xlib.h>

#include <string>

namespace zg {
namespace {

// Reads the fields of one XSETTINGS buffer front to back; any read past the end fails.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> data) : data_(data) {}

    bool bigEndian = false;

    bool skip(uint64_t count) {
        if (count > data_.size() - at_) return false;
        at_ += count;
        return true;
    }
    std::optional<uint32_t> card(int bytes) {
        if (static_cast<size_t>(bytes) > data_.size() - at_) return std::nullopt;
        uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            const uint32_t byte = data_[at_ + (bigEndian ? i : bytes - 1 - i)];
            value = value << 8 | byte;
        }
        at_ += bytes;
        return value;
    }
    std::optional<std::string_view> text(uint32_t length) {
        if (length > data_.size() - at_) return std::nullopt;
        const auto* start = reinterpret_cast<const char*>(data_.data() + at_);
        at_ += length;
        return std::string_view(start, length);
    }

private:
    std::span<const uint8_t> data_;
    size_t at_ = 0;
};

constexpr uint64_t padded(uint64_t length) {
    return (length + 3) / 4 * 4;
}

enum SettingType { kInteger = 0, kString = 1, kColor = 2 };

// What a settings manager could plausibly mean; anything else is a broken manager.
constexpr int32_t kLongestDoubleClickMs = 5000;
// Property reads are capped: a settings list is a few kilobytes.
constexpr long kMaxPropertyWords = 64 * 1024 / 4;

}  // namespace

std::optional<int32_t> xsettingsInteger(std::span<const uint8_t> data, std::string_view name) {
    Reader in(data);
    const auto order = in.card(1);
    if (!order || *order > 1) return std::nullopt;
    in.bigEndian = *order == 1;                           // MSBFirst
    if (!in.skip(3) || !in.card(4)) return std::nullopt;  // unused bytes, SERIAL
    const auto count = in.card(4);
    if (!count) return std::nullopt;
    // Each setting takes at least 12 bytes, so a lying count ends at the end of the data.
    for (uint32_t i = 0; i < *count; ++i) {
        const auto type = in.card(1);
        const auto nameLength = (type && in.skip(1)) ? in.card(2) : std::nullopt;
        if (!nameLength) return std::nullopt;
        const auto settingName = in.text(*nameLength);
        if (!settingName || !in.skip(padded(*nameLength) - *nameLength) || !in.skip(4)) {
            return std::nullopt;
        }
        switch (*type) {
            case kInteger: {
                const auto value = in.card(4);
                if (!value) return std::nullopt;
                if (*settingName == name) return static_cast<int32_t>(*value);
                break;
            }
            case kString: {
                const auto length = in.card(4);
                if (!length || !in.skip(padded(*length))) return std::nullopt;
                if (*settingName == name) return std::nullopt;
                break;
            }
            case kColor:
                if (!in.skip(8)) return std::nullopt;
                if (*settingName == name) return std::nullopt;
                break;
            default:
                return std::nullopt;  // unknown size: nothing after it can be found
        }
    }
    return std::nullopt;
}

std::optional<Seconds> xsettingsDoubleClickTime(X11Display& display) {
    Display* dpy = display.get();
    const std::string selection = "_XSETTINGS_S" + std::to_string(DefaultScreen(dpy));
    const Window owner = XGetSelectionOwner(dpy, XInternAtom(dpy, selection.c_str(), False));
    if (owner == None) return std::nullopt;

    const Atom property = XInternAtom(dpy, "_XSETTINGS_SETTINGS", False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0, remaining = 0;
    unsigned char* bytes = nullptr;
    // The owner may vanish between the two requests; the read then fails with BadWindow.
    const int status = XGetWindowProperty(dpy, owner, property, 0, kMaxPropertyWords, False,
                                          property, &type, &format, &items, &remaining, &bytes);
    display.sync();  // consumes the error, if any, so that it is not blamed on later requests
    if (status != Success || !bytes) return std::nullopt;
    std::optional<int32_t> ms;
    if (type == property && format == 8) {
        ms = xsettingsInteger(std::span<const uint8_t>(bytes, items), "Net/DoubleClickTime");
    }
    XFree(bytes);
    if (!ms || *ms <= 0 || *ms > kLongestDoubleClickMs) return std::nullopt;
    return *ms / 1000.0;
}

}  // namespace zg
