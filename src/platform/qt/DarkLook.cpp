#include "platform/qt/DarkLook.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace zg {

void useDarkLook(QApplication& app) {
    app.setStyle(QStyleFactory::create("Fusion"));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(20, 20, 20));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Button, QColor(40, 40, 40));
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Highlight, QColor(70, 110, 200));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::ToolTipBase, QColor(30, 30, 30));
    dark.setColor(QPalette::ToolTipText, Qt::white);
    dark.setColor(QPalette::Disabled, QPalette::Text, Qt::gray);
    dark.setColor(QPalette::Disabled, QPalette::WindowText, Qt::gray);
    app.setPalette(dark);
}

}  // namespace zg
