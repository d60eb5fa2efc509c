#include "platform/qt/QtPairWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>

#include "ui/PairingLayout.h"
#include "ui/QrCode.h"

namespace zg {

namespace {

// `r` in a parent `height` high.
QRect toQt(const Rect& r, double height = pairing::kHeight) {
    const Rect top = pairing::fromTop(r, height);
    return QRect(qRound(top.x), qRound(top.y), qRound(top.width), qRound(top.height));
}

QString grey(double white) {
    const int level = qRound(white * 255);
    return QString("rgb(%1,%1,%1)").arg(level);
}

// Every module `scale` pixels square, black on white.
QImage codeBitmap(const QrCode& code, int scale) {
    QImage image(code.width * scale, code.width * scale, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            if (code.at(x / scale, y / scale)) row[x] = 0;
        }
    }
    return image;
}

}  // namespace

QtPairWindow::QtPairWindow()
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      card_(this),
      code_(&card_),
      dot_(this),
      status_(QString::fromUtf8("Connecting\u2026"), this) {
    setWindowTitle("ZephyrGlint");
    setFixedSize(int(pairing::kWidth), int(pairing::kHeight));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);

    card_.setGeometry(toQt(pairing::kCard));
    card_.setAttribute(Qt::WA_StyledBackground);
    card_.setStyleSheet(
        QString("background: white; border-radius: %1px;").arg(pairing::kCardCornerRadius));
    code_.setGeometry(toQt(pairing::kCodeInCard, pairing::kCard.height));
    code_.setAlignment(Qt::AlignCenter);

    // No colour and no place until the first status.
    dot_.setAttribute(Qt::WA_StyledBackground);
    dot_.hide();
    QFont font = status_.font();
    font.setPixelSize(int(pairing::kStatusFontPoints));
    status_.setFont(font);
    status_.setStyleSheet("color: " + grey(0.67));
    status_.adjustSize();
    status_.installEventFilter(this);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void QtPairWindow::showCode(const std::string& link) {
    const auto code = QrCode::encode(link);
    if (!code) return;
    // The bitmap keeps whole pixels per module; the label then fits it to its 228 points.
    const QImage bitmap = codeBitmap(*code, pairing::moduleScale(code->width));
    const qreal ratio = devicePixelRatioF();
    const QSize target = code_.size() * ratio;
    QPixmap pixmap =
        QPixmap::fromImage(bitmap.scaled(target, Qt::KeepAspectRatio, Qt::FastTransformation));
    pixmap.setDevicePixelRatio(ratio);
    code_.setPixmap(pixmap);
}

void QtPairWindow::setStatus(const std::string& text, bool on) {
    status_.setText(QString::fromStdString(text));
    status_.setStyleSheet("color: " + (on ? QString("white") : grey(0.67)));
    dot_.setStyleSheet(
        QString("background: %1; border-radius: 3px;").arg(on ? QString("white") : grey(0.33)));
    status_.adjustSize();
    const auto group = pairing::statusGroup(status_.width(), status_.height());
    dot_.setGeometry(toQt(group.dot));
    status_.setGeometry(toQt(group.label));
    dot_.show();
}

void QtPairWindow::present() {
    show();
    raise();
    activateWindow();
}

std::optional<Rect> QtPairWindow::onScreen() const {
    // A Wayland client is not told where its window is: nothing can be blacked out.
    if (!isVisible() || QGuiApplication::platformName() == "wayland") return std::nullopt;
    // Qt places windows in device-independent pixels; the desktop counts device pixels.
    const QRect frame = frameGeometry();
    const double ratio = devicePixelRatioF();
    return Rect{frame.x() * ratio, frame.y() * ratio, frame.width() * ratio,
                frame.height() * ratio};
}

void QtPairWindow::closeEvent(QCloseEvent* event) {
    QWidget::hide();
    event->ignore();
}

bool QtPairWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &status_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && onStatusClick) {
        onStatusClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace zg
