#include "platform/qt/QtRingWindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRegion>
#include <QScreen>

#include "ui/Ring.h"

namespace zg {

namespace {

const QRectF kRing((Ring::kSize - Ring::kDiameter) / 2, (Ring::kSize - Ring::kDiameter) / 2,
                   Ring::kDiameter, Ring::kDiameter);

// The pixels a ring stroked `width` wide covers, for the shape mask.
QRegion ringRegion(double width) {
    const double half = width / 2 + 1;
    const QRect outer = kRing.adjusted(-half, -half, half, half).toAlignedRect();
    const QRect inner = kRing.adjusted(half, half, -half, -half).toRect();
    return QRegion(outer, QRegion::Ellipse).subtracted(QRegion(inner, QRegion::Ellipse));
}

// Desktop pixels to Qt's device-independent pixels.
double pixelRatio() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 1.0;
}

}  // namespace

QtRingWindow::QtRingWindow(std::function<bool()> compositing)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus |
                           Qt::X11BypassWindowManagerHint),
      compositing_(std::move(compositing)),
      strokeWidth_(Ring::kStrokeWidth),
      fade_(this, "windowOpacity") {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(int(Ring::kSize), int(Ring::kSize));
    QObject::connect(&fade_, &QPropertyAnimation::finished, this, [this] { QWidget::hide(); });
    pulse_.setEndValue(Ring::kStrokeWidth);
    QObject::connect(&pulse_, &QVariantAnimation::valueChanged, this,
                     [this](const QVariant& width) { setStrokeWidth(width.toDouble()); });
}

void QtRingWindow::moveTo(Point origin) {
    const double ratio = pixelRatio();
    move(qRound(origin.x / ratio), qRound(origin.y / ratio));
}

void QtRingWindow::showOpaque() {
    fade_.stop();
    setWindowOpacity(1.0);
    if (isVisible()) return;
    masked_ = !(compositing_ && compositing_());
    if (masked_) {
        setMask(ringRegion(std::max(strokeWidth_, Ring::kOutlineWidth)));
    } else {
        clearMask();
    }
    show();
    raise();
}

void QtRingWindow::fadeOut(Seconds duration) {
    if (masked_) {
        // Without a compositor opacity does nothing; the ring goes when the fade would end.
        fade_.setStartValue(1.0);
        fade_.setEndValue(1.0);
    } else {
        fade_.setStartValue(windowOpacity());
        fade_.setEndValue(0.0);
    }
    fade_.setDuration(int(duration * 1000));
    fade_.start();
}

void QtRingWindow::hideNow() {
    fade_.stop();
    pulse_.stop();
    setStrokeWidth(Ring::kStrokeWidth);
    QWidget::hide();
}

void QtRingWindow::pulse(double fromWidth, Seconds duration) {
    pulse_.stop();
    pulse_.setStartValue(fromWidth);
    pulse_.setDuration(int(duration * 1000));
    pulse_.start();
}

void QtRingWindow::setStrokeWidth(double width) {
    strokeWidth_ = width;
    if (masked_) setMask(ringRegion(std::max(width, Ring::kOutlineWidth)));
    update();
}

void QtRingWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0, 0, 0, 140), Ring::kOutlineWidth));
    painter.drawEllipse(kRing);
    painter.setBrush(QColor(255, 255, 255, 26));
    painter.setPen(QPen(Qt::white, strokeWidth_));
    painter.drawEllipse(kRing);
}

}  // namespace zg
