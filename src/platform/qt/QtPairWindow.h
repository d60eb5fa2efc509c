#pragma once

#include <QLabel>
#include <QWidget>

#include "platform/PairingView.h"

namespace zg {

// The pairing window as a Qt widget: black, 300 by 336, the QR code on a white card and the
// status line beneath. Closing it hides it; the agent keeps it for its whole life.
class QtPairWindow final : public QWidget, public PairingView {
public:
    QtPairWindow();

    void showCode(const std::string& link) override;
    void setStatus(const std::string& text, bool on) override;
    void present() override;
    void hide() override { QWidget::hide(); }
    std::optional<Rect> onScreen() const override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget card_;
    QLabel code_;
    QWidget dot_;
    QLabel status_;
};

}  // namespace zg
