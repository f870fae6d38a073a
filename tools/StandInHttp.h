#pragma once
// Reading one HTTP/1.1 request from the bytes a stand-in has received so far: the stand-ins
// answer one request per connection and need a Content-Length (no chunked bodies).
#include <QByteArray>
#include <QList>
#include <QPair>

namespace murmelo::standin {

struct HttpRequest {
    QByteArray method;
    QByteArray path;                                // as sent, with any query
    QList<QPair<QByteArray, QByteArray>> headers;   // lower-case names, in order
    QByteArray body;
};

struct HttpRead {
    enum class State { incomplete, complete, failed };
    State state = State::incomplete;
    HttpRequest request;  // complete
    int status = 0;       // failed: the status to answer with
    QByteArray why;       // failed: a short reason for the body
};

inline HttpRead readHttpRequest(const QByteArray& buffer, qsizetype maxHeader, qsizetype maxBody) {
    HttpRead read;
    const auto fail = [&](int status, const char* why) {
        read.state = HttpRead::State::failed;
        read.status = status;
        read.why = why;
        return read;
    };
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0) return buffer.size() > maxHeader ? fail(431, "headers too large\n") : read;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/1.")) return fail(400, "malformed request line\n");
    qsizetype length = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0) continue;
        const QByteArray name = lines[i].left(colon).trimmed().toLower();
        const QByteArray value = lines[i].mid(colon + 1).trimmed();
        if (name == "transfer-encoding") return fail(411, "a Content-Length is required\n");
        if (name == "content-length") {
            bool ok = false;
            length = value.toLongLong(&ok);
            if (!ok || length < 0 || length > maxBody) return fail(413, "bad or too large Content-Length\n");
        }
        read.request.headers.append({name, value});
    }
    if (buffer.size() - headerEnd - 4 < length) return read;
    read.state = HttpRead::State::complete;
    read.request.method = requestLine[0];
    read.request.path = requestLine[1];
    read.request.body = buffer.mid(headerEnd + 4, length);
    return read;
}

}  // namespace murmelo::standin
