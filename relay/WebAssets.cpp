#include "relay/WebAssets.h"

#include <QDir>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>

#include "version/Version.h"

namespace zg::relay {

namespace {

QByteArray mimeTypeOf(const QString& suffix) {
    static const QHash<QString, QByteArray> types{
        {"html", "text/html; charset=utf-8"},
        {"css", "text/css; charset=utf-8"},
        {"js", "text/javascript; charset=utf-8"},
        {"json", "application/json"},
        {"svg", "image/svg+xml"},
        {"png", "image/png"},
        {"ico", "image/x-icon"},
    };
    return types.value(suffix.toLower(), "application/octet-stream");
}

}  // namespace

WebAssets::WebAssets(const QString& directory) {
    const QFileInfoList files = QDir(directory).entryInfoList(QDir::Files);
    for (const QFileInfo& info : files) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly)) continue;
        const bool page = info.suffix() == "html";
        QByteArray body = file.readAll();
        // Pages say which relay served them; a copy on another server shows nothing there.
        if (page) body.replace("<!--version-->", QByteArray("ZephyrGlint ") + kVersion);
        assets_.insert("/" + (page ? info.completeBaseName() : info.fileName()),
                       Asset{mimeTypeOf(info.suffix()), body});
    }
}

void WebAssets::respond(const QHttpServerRequest& request, QHttpServerResponder&& responder) const {
    const auto asset = assets_.constFind(request.url().path());
    if (asset == assets_.cend()) {
        responder.write("Not found\n", "text/plain; charset=utf-8",
                        QHttpServerResponder::StatusCode::NotFound);
        return;
    }
    if (request.method() != QHttpServerRequest::Method::Get) {
        responder.write("Only GET is supported\n",
                        {{"Content-Type", "text/plain; charset=utf-8"}, {"Allow", "GET"}},
                        QHttpServerResponder::StatusCode::MethodNotAllowed);
        return;
    }
    // no-cache: a phone revalidates, so it never keeps a page older than the agent it talks to.
    responder.write(asset->body, {{"Content-Type", asset->mimeType},
                                  {"Cache-Control", "no-cache"},
                                  {"X-Content-Type-Options", "nosniff"}});
}

}  // namespace zg::relay
