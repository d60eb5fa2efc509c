#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <utility>

class QHttpServerRequest;
class QHttpServerResponder;

namespace zg::relay {

// The phone page's files, embedded from web/. Each is served at "/<file name>", an HTML file
// without its ".html" (remote.html is "/remote"), so new files need no code.
class WebAssets {
public:
    explicit WebAssets(const QString& directory = QStringLiteral(":/web"));

    // Answers a request for one of the files, or 404 / 405.
    void respond(const QHttpServerRequest& request, QHttpServerResponder&& responder) const;

private:
    using Header = std::pair<QByteArray, QByteArray>;
    struct Asset {
        QList<Header> headers;
        QByteArray body;
    };
    QHash<QString, Asset> assets_;
};

}  // namespace zg::relay
