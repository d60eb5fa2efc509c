#include "platform/qt/QtTray.h"

#include <QCursor>
#include <QPainter>
#include <QPainterPath>
#include <span>

namespace zg {

namespace {

// The arrow's outline on an 18 by 18 grid, tip at the top left.
QPainterPath arrowPath() {
    static constexpr QPointF points[] = {
        {5.90625, 3.09375},   {5.90625, 13.78125},  {8.4375, 11.41875}, {10.18125, 15.13125},
        {11.86875, 14.34375}, {10.18125, 10.74375}, {13.5, 10.63125}};
    QPainterPath path(points[0]);
    for (const QPointF& point : std::span(points).subspan(1)) path.lineTo(point);
    path.closeSubpath();
    return path;
}

QPixmap arrowPixmap(int pixels) {
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(pixels / 18.0, pixels / 18.0);
    painter.setPen(QPen(QColor(0, 0, 0, 200), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::white);
    painter.drawPath(arrowPath());
    return pixmap;
}

void call(const std::function<void()>& action) {
    if (action) action();
}

}  // namespace

QIcon arrowIcon() {
    QIcon icon;
    for (int pixels : {18, 22, 24, 36, 48}) icon.addPixmap(arrowPixmap(pixels));
    return icon;
}

QtTray::QtTray() {
    menu_.addAction(menu::kShow, [this] { call(actions.show); });
    menu_.addAction(menu::kNewCode, [this] { call(actions.newCode); });
    askAgain_ = menu_.addAction(menu::kAskAgain, [this] { call(actions.askAgain); });
    askAgain_->setVisible(false);
    menu_.addSeparator();
    speedMenu_.setTitle(menu::kSpeed);
    for (size_t i = 0; i < menu::kSpeeds.size(); ++i) {
        const double speed = menu::kSpeeds[i];
        speedItems_[i] =
            speedMenu_.addAction(QString::fromStdString(menu::speedTitle(speed)), [this, speed] {
                if (actions.setSpeed) actions.setSpeed(speed);
            });
        speedItems_[i]->setCheckable(true);
    }
    menu_.addMenu(&speedMenu_);
    ring_ = menu_.addAction(menu::kRing, [this] { call(actions.toggleRing); });
    ring_->setCheckable(true);
    login_ = menu_.addAction(menu::kLogin, [this] { call(actions.toggleLogin); });
    login_->setCheckable(true);
    menu_.addSeparator();
    menu_.addAction(menu::kQuit, QKeySequence::Quit, [this] { call(actions.quit); });
    QObject::connect(&menu_, &QMenu::aboutToShow, this, [this] { refreshTicks(); });

    icon_.setIcon(arrowIcon());
    icon_.setContextMenu(&menu_);
    // A left click opens the menu too: the icon has nothing else to offer.
    QObject::connect(&icon_, &QSystemTrayIcon::activated, this,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger) menu_.popup(QCursor::pos());
                     });
    icon_.show();
}

void QtTray::setTooltip(const std::string& text) {
    icon_.setToolTip(QString::fromStdString(text));
}

bool QtTray::available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTray::refreshTicks() {
    if (!actions.ticks) return;
    const MenuTicks ticks = actions.ticks();
    ring_->setChecked(ticks.ring && ticks.ringAvailable);
    ring_->setEnabled(ticks.ringAvailable);
    ring_->setText(ticks.ringAvailable ? menu::kRing : menu::kRingUnavailable);
    askAgain_->setVisible(ticks.askAgain);
    login_->setChecked(ticks.login);
    for (size_t i = 0; i < speedItems_.size(); ++i) speedItems_[i]->setChecked(ticks.speeds[i]);
}

}  // namespace zg
