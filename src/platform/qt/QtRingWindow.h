#pragma once

#include <QPropertyAnimation>
#include <QVariantAnimation>
#include <QWidget>
#include <functional>

#include "platform/RingView.h"

namespace zg {

// The ring's overlay: a click-through, borderless window above all others. Where no
// compositing manager blends translucent windows, a shape mask leaves only the ring visible
// and the fade becomes a plain hide.
class QtRingWindow final : public QWidget, public RingView {
public:
    // `compositing` tells whether translucency works now; it is asked each time the ring
    // appears, since a compositing manager can come and go.
    explicit QtRingWindow(std::function<bool()> compositing);

    std::optional<double> flipHeight() const override { return std::nullopt; }
    void moveTo(Point origin) override;
    void showOpaque() override;
    void fadeOut(Seconds duration) override;
    void hideNow() override;
    void pulse(double fromWidth, Seconds duration) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setStrokeWidth(double width);

    std::function<bool()> compositing_;
    bool masked_ = false;
    double strokeWidth_;
    QPropertyAnimation fade_;
    QVariantAnimation pulse_;
};

}  // namespace zg
