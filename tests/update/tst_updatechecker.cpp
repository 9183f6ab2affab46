// The checker against a real HTTPS server on loopback.
#include "LoopbackHttpsServer.h"
#include "TestSupport.h"
#include "update/UpdateChecker.h"

#include <QNetworkAccessManager>
#include <QTest>

using namespace ostrel;
using ostrel::test::ConnectionCounter;
using ostrel::test::LoopbackHttpsServer;
using Response = LoopbackHttpsServer::Response;

Q_DECLARE_METATYPE(ostrel::UpdateCheckError)

namespace {
const SystemVersion runningSystem{6, 1, 0};

QByteArray manifestJson(const char *version, const QByteArray &download = "https://example.org/ostrel.tar.gz")
{
    return "{\"version\": \"" + QByteArray(version) + "\", \"downloadURL\": \"" + download + "\"}";
}

// The check's result; a check that never ends shows as a transport error
// no real check gives, so the comparison that follows fails.
UpdateCheckResult resultOf(const QFuture<UpdateCheckResult> &future)
{
    if (!test::waitFor(future, 20000))
        return UpdateCheckFailure(UpdateTransportError{QNetworkReply::UnknownServerError, QStringLiteral("never finished")});
    return future.result();
}

// A manifest of exactly `size` bytes: white space inside the object pads it.
QByteArray paddedManifest(qsizetype size)
{
    QByteArray json = manifestJson("9.0");
    json.insert(1, QByteArray(size - json.size(), ' '));
    return json;
}
}  // namespace

class TestUpdateChecker : public QObject {
    Q_OBJECT
private:
    QNetworkAccessManager m_session;
    LoopbackHttpsServer *m_server = nullptr;

    UpdateCheckResult run(const QUrl &url, std::chrono::milliseconds timeout = UpdateChecker::defaultTimeout,
                          const QString &current = QStringLiteral("1.0"))
    {
        // The session keeps connections open; a fresh one per check makes
        // every check reach the server on its own.
        m_session.clearConnectionCache();
        UpdateChecker checker(url, &m_session, timeout);
        return resultOf(checker.check(current, 0, runningSystem));
    }

private slots:
    void initTestCase()
    {
        LoopbackHttpsServer::trustInThisProcess();
        m_server = new LoopbackHttpsServer(this);
        QVERIFY(m_server->isListening());
    }

    void outcomes()
    {
        m_server->answer(QStringLiteral("/updates/latest.json"), Response{200, manifestJson("2.0"), {}, false});
        const int before = int(m_server->requests().size());
        const auto result = run(m_server->url(QStringLiteral("/updates/latest.json")));
        QVERIFY(result.hasValue());
        QCOMPARE(result->kind, UpdateCheckOutcome::Kind::available);
        QCOMPARE(result->manifest->version, QStringLiteral("2.0"));

        // Exactly one GET with the one header asked for.
        QCOMPARE(int(m_server->requests().size()), before + 1);
        const auto &request = m_server->requests().last();
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.path, QByteArray("/updates/latest.json"));
        QCOMPARE(request.headers.value("accept"), QByteArray("application/json"));

        m_server->answer(QStringLiteral("/current.json"), Response{200, manifestJson("1.0"), {}, false});
        const auto same = run(m_server->url(QStringLiteral("/current.json")));
        QVERIFY(same.hasValue());
        QCOMPARE(same->kind, UpdateCheckOutcome::Kind::upToDate);
    }

    void schemeInCapitals()
    {
        m_server->answer(QStringLiteral("/caps.json"), Response{200, manifestJson("2.0"), {}, false});
        QUrl url = m_server->url(QStringLiteral("/caps.json"));
        const QUrl capitals(url.toString().replace(QLatin1String("https://"), QLatin1String("HTTPS://")));
        const auto result = run(capitals);
        QVERIFY(result.hasValue());
        QCOMPARE(result->kind, UpdateCheckOutcome::Kind::available);
    }

    void insecureLocationSendsNothing()
    {
        ConnectionCounter plain;
        const int before = m_server->connections();
        for (const QString &url : {QStringLiteral("http://127.0.0.1:%1/updates/latest.json").arg(plain.port()),
                                   QStringLiteral("https:///updates/latest.json"),
                                   QStringLiteral("file:///updates/latest.json"), QStringLiteral("/updates/latest.json")}) {
            const auto result = run(QUrl(url));
            QVERIFY2(!result.hasValue(), qPrintable(url));
            QCOMPARE(std::get<UpdateCheckError>(result.error()) == UpdateCheckError::insecureURL(), true);
        }
        QTest::qWait(50);  // a connection attempt would have arrived by now
        QCOMPARE(plain.connections(), 0);
        QCOMPARE(m_server->connections(), before);
    }

    void faults_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<UpdateCheckError>("error");
        const auto invalid = UpdateCheckError::invalidResponse();
        QTest::newRow("304") << Response{304, {}, {}, false} << invalid;
        QTest::newRow("404") << Response{404, manifestJson("2.0"), {}, false} << invalid;
        QTest::newRow("500") << Response{500, manifestJson("2.0"), {}, false} << invalid;
        QTest::newRow("199 is not success") << Response{199, manifestJson("2.0"), {}, false} << invalid;
        QTest::newRow("exactly 1 MiB + 1") << Response{200, paddedManifest(1'048'577), {}, false}
                                           << UpdateCheckError::manifestTooLarge();
        // The order of faults: the status is judged before the size.
        QTest::newRow("500 and too large") << Response{500, paddedManifest(2'000'000), {}, false} << invalid;
        QTest::newRow("http download") << Response{200, manifestJson("2.0", "http://example.org/dl"), {}, false}
                                       << UpdateCheckError::insecureURL();
        QTest::newRow("bad manifest version") << Response{200, manifestJson("2.x"), {}, false}
                                              << UpdateCheckError::invalidVersion(QStringLiteral("2.x"));
    }
    void faults()
    {
        QFETCH(Response, response);
        QFETCH(UpdateCheckError, error);
        m_server->answer(QStringLiteral("/fault.json"), response);
        const auto result = run(m_server->url(QStringLiteral("/fault.json")));
        QVERIFY(!result.hasValue());
        QVERIFY2(std::holds_alternative<UpdateCheckError>(result.error()), "expected an update check error");
        QCOMPARE(std::get<UpdateCheckError>(result.error()) == error, true);
    }

    void exactlyOneMebibyteIsRead()
    {
        m_server->answer(QStringLiteral("/big.json"), Response{200, paddedManifest(1'048'576), {}, false});
        const auto result = run(m_server->url(QStringLiteral("/big.json")));
        QVERIFY(result.hasValue());
        QCOMPARE(result->kind, UpdateCheckOutcome::Kind::available);
    }

    void decodingErrorsPassThrough_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("kind");
        QTest::newRow("malformed") << QByteArray("{\"version\": ") << int(ManifestDecodingError::Kind::notJson);
        QTest::newRow("wrong type") << QByteArray("{\"version\": 2, \"downloadURL\": \"https://example.org\"}")
                                    << int(ManifestDecodingError::Kind::wrongType);
        QTest::newRow("missing key") << QByteArray("{\"version\": \"2\"}") << int(ManifestDecodingError::Kind::missingKey);
    }
    void decodingErrorsPassThrough()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, kind);
        m_server->answer(QStringLiteral("/decode.json"), Response{200, body, {}, false});
        const auto result = run(m_server->url(QStringLiteral("/decode.json")));
        QVERIFY(!result.hasValue());
        QVERIFY(std::holds_alternative<ManifestDecodingError>(result.error()));
        QCOMPARE(int(std::get<ManifestDecodingError>(result.error()).kind), kind);
    }

    void redirects()
    {
        ConnectionCounter plain;
        m_server->answer(QStringLiteral("/moved.json"),
                         Response{302, {}, {{"Location", m_server->url(QStringLiteral("/target.json")).toEncoded()}}, false});
        m_server->answer(QStringLiteral("/target.json"), Response{200, manifestJson("2.0"), {}, false});
        const auto followed = run(m_server->url(QStringLiteral("/moved.json")));
        QVERIFY(followed.hasValue());
        QCOMPARE(followed->kind, UpdateCheckOutcome::Kind::available);
        QCOMPARE(m_server->requests().last().path, QByteArray("/target.json"));

        const QByteArray insecure = "http://127.0.0.1:" + QByteArray::number(plain.port()) + "/latest.json";
        m_server->answer(QStringLiteral("/downgrade.json"), Response{301, {}, {{"Location", insecure}}, false});
        const auto refused = run(m_server->url(QStringLiteral("/downgrade.json")));
        QVERIFY(!refused.hasValue());
        QCOMPARE(std::get<UpdateCheckError>(refused.error()) == UpdateCheckError::insecureURL(), true);
        QTest::qWait(50);
        // Refused before it was followed: nothing went out in plain text.
        QCOMPARE(plain.connections(), 0);
    }

    void silentServerTimesOut()
    {
        m_server->answer(QStringLiteral("/silent.json"), Response{200, {}, {}, true});
        const auto result = run(m_server->url(QStringLiteral("/silent.json")), std::chrono::milliseconds(300));
        QVERIFY(!result.hasValue());
        QVERIFY2(std::holds_alternative<UpdateTransportError>(result.error()), "a time-out is a transport error");
        QCOMPARE(std::get<UpdateTransportError>(result.error()).code, QNetworkReply::OperationCanceledError);
    }

    void untrustedServerIsATransportError()
    {
        // A session that does not trust the suite's certificate fails the handshake.
        QNetworkAccessManager strict;
        m_server->answer(QStringLiteral("/tls.json"), Response{200, manifestJson("2.0"), {}, false});
        QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
        QSslConfiguration plainDefault = saved;
        plainDefault.setCaCertificates(QSslConfiguration::systemCaCertificates());
        QSslConfiguration::setDefaultConfiguration(plainDefault);
        UpdateChecker checker(m_server->url(QStringLiteral("/tls.json")), &strict);
        const auto result = resultOf(checker.check(QStringLiteral("1.0"), 0, runningSystem));
        QSslConfiguration::setDefaultConfiguration(saved);
        QVERIFY(!result.hasValue());
        QVERIFY(std::holds_alternative<UpdateTransportError>(result.error()));
        QCOMPARE(std::get<UpdateTransportError>(result.error()).code, QNetworkReply::SslHandshakeFailedError);
    }

    void refusedConnectionIsATransportError()
    {
        quint16 port = 0;
        {
            ConnectionCounter closed;
            port = closed.port();
        }
        const auto result = run(QUrl(QStringLiteral("https://127.0.0.1:%1/updates/latest.json").arg(port)));
        QVERIFY(!result.hasValue());
        QVERIFY(std::holds_alternative<UpdateTransportError>(result.error()));
        QCOMPARE(std::get<UpdateTransportError>(result.error()).code, QNetworkReply::ConnectionRefusedError);
    }
};

QTEST_GUILESS_MAIN(TestUpdateChecker)
#include "tst_updatechecker.moc"
