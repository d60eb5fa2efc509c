#include "ui/QrCode.h"

#include <qrencode.h>

#include <memory>

namespace zg {

namespace {
// Scanners need four light modules on every side.
constexpr int kQuietZone = 4;

struct QrFree {
    void operator()(QRcode* code) const { QRcode_free(code); }
};
}  // namespace

std::optional<QrCode> QrCode::encode(std::string_view text) {
    const std::unique_ptr<QRcode, QrFree> encoded(QRcode_encodeData(
        int(text.size()), reinterpret_cast<const unsigned char*>(text.data()), 0, QR_ECLEVEL_M));
    if (!encoded) return std::nullopt;
    QrCode code{encoded->width, std::vector<bool>(size_t(encoded->width) * encoded->width)};
    for (size_t i = 0; i < code.dark.size(); ++i) code.dark[i] = encoded->data[i] & 1;
    return code;
}

std::string terminalPicture(const QrCode& code, bool ansiColours) {
    const int side = code.width + 2 * kQuietZone;
    const auto dark = [&](int x, int y) {
        x -= kQuietZone;
        y -= kQuietZone;
        return x >= 0 && y >= 0 && x < code.width && y < code.width && code.at(x, y);
    };
    std::string out;
    for (int y = 0; y < side; y += 2) {
        if (ansiColours) out += "\x1b[30;47m";
        for (int x = 0; x < side; ++x) {
            const bool top = dark(x, y), bottom = y + 1 < side && dark(x, y + 1);
            out += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        if (ansiColours) out += "\x1b[0m";
        out += '\n';
    }
    return out;
}

}  // namespace zg
