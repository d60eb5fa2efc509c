#pragma once

#include <QObject>
#include <functional>

namespace zg {

// One agent per desktop session: the first takes a well-known name on the session bus, and a
// later start hands over to it, which brings its pairing window to the front, as opening a
// running application does. Without a session bus every start runs on its own.
class SingleInstance final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.zephyrglint.Agent")
public:
    // True when another agent already runs in this session and was asked to show itself.
    static bool handedOver();

    // Takes the session's name for this agent; `show` runs when a later start hands over.
    explicit SingleInstance(std::function<void()> show);

public slots:
    void Show();

private:
    std::function<void()> show_;
};

}  // namespace zg
