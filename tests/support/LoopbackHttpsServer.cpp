#include "LoopbackHttpsServer.h"

#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>

namespace ostrel::test {

namespace {
QByteArray readFixture(const char *name)
{
    QFile file(QStringLiteral(OSTREL_TEST_CERT_DIR "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test certificate file %s", name);
    return file.readAll();
}

QByteArray reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}
}  // namespace

QSslCertificate LoopbackHttpsServer::certificate()
{
    return QSslCertificate(readFixture("loopback-cert.pem"), QSsl::Pem);
}

void LoopbackHttpsServer::trustInThisProcess()
{
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.addCaCertificate(certificate());
    QSslConfiguration::setDefaultConfiguration(conf);
}

LoopbackHttpsServer::LoopbackHttpsServer(QObject *parent) : QObject(parent)
{
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setLocalCertificate(certificate());
    conf.setPrivateKey(QSslKey(readFixture("loopback-key.pem"), QSsl::Rsa, QSsl::Pem));
    conf.setPeerVerifyMode(QSslSocket::VerifyNone);  // the server does not ask clients for certificates
    m_server.setSslConfiguration(conf);
    connect(&m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (m_server.hasPendingConnections()) {
            auto *socket = qobject_cast<QSslSocket *>(m_server.nextPendingConnection());
            if (socket) {
                ++m_connections;
                serve(socket);
            }
        }
    });
    m_server.listen(QHostAddress::LocalHost);
}

QUrl LoopbackHttpsServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
}

void LoopbackHttpsServer::serve(QSslSocket *socket)
{
    socket->setParent(this);
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QIODevice::readyRead, socket, [this, socket, buffer] {
        buffer->append(socket->readAll());
        const qsizetype end = buffer->indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = buffer->left(end).split('\n');
        buffer->remove(0, end + 4);
        Request request;
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.path = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        m_requests.append(request);

        const auto route = m_routes.constFind(request.path);
        Response response = route != m_routes.constEnd() ? *route : Response{404, "no such path", {}, false};
        if (response.neverAnswer)
            return;
        QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reason(response.status) + "\r\n";
        for (const auto &[name, value] : response.headers)
            out += name + ": " + value + "\r\n";
        if (response.status != 304)
            out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        out += "Connection: close\r\n\r\n";
        if (response.status != 304)
            out += response.body;
        socket->write(out);
        socket->disconnectFromHost();
    });
}

ConnectionCounter::ConnectionCounter(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *s = m_server.nextPendingConnection()) {
            ++m_connections;
            s->setParent(this);
            s->close();
        }
    });
    m_server.listen(QHostAddress::LocalHost);
}

}  // namespace ostrel::test
