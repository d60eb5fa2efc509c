#pragma once

#include <QString>

namespace zg::relay {

// Writes one line, prefixed "relay: ", to stderr. Safe from any thread.
void log(const QString& line);

// Peer-supplied text made fit for a log line: control characters replaced, long text cut.
QString printable(const QString& text);

}  // namespace zg::relay
