#pragma once

class QApplication;

namespace zg {

// The same dark look as the pairing window for the menus, whatever the desktop's theme.
void useDarkLook(QApplication& app);

}  // namespace zg
