#pragma once

#include <QHostAddress>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

// A one-route HTTP server on 127.0.0.1 that records each request and answers with
// a chosen status, or never answers.
class LocalHttpServer {
public:
    struct Request {
        QByteArray method, path, body;
        QMap<QByteArray, QByteArray> headers; // names in lower case
    };

    int status = 204;
    bool answer = true;
    QList<Request> requests;

    LocalHttpServer() {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] { onData(s); });
            }
        });
    }
    ~LocalHttpServer() { m_server.close(); }
    QUrl base() const { return QUrl(QString("http://127.0.0.1:%1").arg(m_server.serverPort())); }

private:
    void onData(QTcpSocket* s) {
        QByteArray& buf = m_buffers[s];
        buf += s->readAll();
        const int end = buf.indexOf("\r\n\r\n");
        if (end < 0) return;
        Request r;
        const QList<QByteArray> lines = buf.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        r.method = first.value(0);
        r.path = first.value(1);
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            if (colon > 0)
                r.headers[lines[i].left(colon).trimmed().toLower()] =
                    lines[i].mid(colon + 1).trimmed();
        }
        const int length = r.headers.value("content-length").toInt();
        if (buf.size() < end + 4 + length) return;
        r.body = buf.mid(end + 4, length);
        requests.append(r);
        m_buffers.remove(s);
        if (!answer) return;
        QByteArray reply = "HTTP/1.1 " + QByteArray::number(status) + " Status\r\n";
        if (status >= 300 && status < 400)
            reply += "Location: " + base().toEncoded() + "/moved\r\n";
        reply += "Content-Length: 0\r\nConnection: close\r\n\r\n";
        s->write(reply);
        s->disconnectFromHost();
    }

    QTcpServer m_server;
    QMap<QTcpSocket*, QByteArray> m_buffers;
};
