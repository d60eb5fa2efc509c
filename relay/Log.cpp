#include "relay/Log.h"

#include <cstdio>

namespace zg::relay {

void log(const QString& line) {
    // One write per line keeps lines whole when the agent logs from other threads.
    const QByteArray text = "relay: " + line.toUtf8() + '\n';
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stderr);
}

QString printable(const QString& text) {
    constexpr qsizetype maxLength = 80;
    QString result = text.left(maxLength);
    for (QChar& c : result) {
        if (c.category() == QChar::Other_Control) c = u'?';
    }
    return text.size() > maxLength ? result + u'…' : result;
}

}  // namespace zg::relay
