#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslServer>
#include <QTcpServer>
#include <QUrl>

namespace ostrel::test {

// An HTTPS server on 127.0.0.1 with the suites' own certificate. Each path
// answers as it is told; requests are recorded.
class LoopbackHttpsServer : public QObject {
    Q_OBJECT
public:
    struct Response {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        bool neverAnswer = false;  // read the request, then stay silent
    };
    struct Request {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers;  // names lower-cased
    };

    explicit LoopbackHttpsServer(QObject *parent = nullptr);

    bool isListening() const { return m_server.isListening(); }
    QUrl url(const QString &path) const;
    void answer(const QString &path, Response response) { m_routes.insert(path.toUtf8(), std::move(response)); }
    const QList<Request> &requests() const { return m_requests; }
    int connections() const { return m_connections; }

    // The certificate the server presents; trust it to reach the server.
    static QSslCertificate certificate();
    // Makes every new TLS connection in this process trust the certificate.
    static void trustInThisProcess();

private:
    void serve(QSslSocket *socket);

    QSslServer m_server;
    QHash<QByteArray, Response> m_routes;
    QList<Request> m_requests;
    int m_connections = 0;
};

// A plain TCP listener that only counts who connects: proof that nothing was sent.
class ConnectionCounter : public QObject {
    Q_OBJECT
public:
    explicit ConnectionCounter(QObject *parent = nullptr);
    quint16 port() const { return m_server.serverPort(); }
    int connections() const { return m_connections; }

private:
    QTcpServer m_server;
    int m_connections = 0;
};

}  // namespace ostrel::test
