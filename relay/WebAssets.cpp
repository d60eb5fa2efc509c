#include "relay/WebAssets.h"

#include <QDir>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QRegularExpression>

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

// A page's content security policy, from its <meta> tag, for the HTTP header, which can also
// forbid framing (a <meta> policy cannot).
QByteArray pagePolicy(const QByteArray& page) {
    static const QRegularExpression meta(
        R"re(<meta\s+http-equiv="Content-Security-Policy"\s+content="([^"]*)")re");
    const QString policy = meta.match(QString::fromUtf8(page)).captured(1);
    return (policy.isEmpty() ? QByteArray("default-src 'self'") : policy.toUtf8()) +
           "; frame-ancestors 'none'";
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
        // no-cache: a phone revalidates, so it never keeps a page older than the agent it talks
        // to. Each connection carries one request (see HttpGate).
        QList<Header> headers{{"Content-Type", mimeTypeOf(info.suffix())},
                              {"Cache-Control", "no-cache"},
                              {"X-Content-Type-Options", "nosniff"},
                              {"Referrer-Policy", "no-referrer"},
                              {"Connection", "close"}};
        if (page) headers.append({"Content-Security-Policy", pagePolicy(body)});
        assets_.insert("/" + (page ? info.completeBaseName() : info.fileName()),
                       Asset{std::move(headers), body});
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
    responder.writeStatusLine();
    for (const auto& [name, value] : asset->headers) responder.writeHeader(name, value);
    responder.writeHeader("Content-Length", QByteArray::number(asset->body.size()));
    responder.writeBody(asset->body);
}

}  // namespace zg::relay
