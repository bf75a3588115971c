#include "NetFixture.h"
#include "log/Settings.h"
#include "net/ServerConfig.h"
#include "net/TestNet.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QtTest>

class TestReleaseQuery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(server_.listen_local());
        settings().server_base = normalized_base(server_.base_url());
        QString error;
        QVERIFY2(add_trusted_ca_file(tls_file("ca.crt"), &error), qPrintable(error));
        settings().stall_timeout_ms = 10000; // generous: sanitizer builds on a busy machine are slow
    }
    void defaultAddress()
    {
        ScopedSettings scope;
        settings() = RuntimeSettings();
        QCOMPARE(release_address(), QStringLiteral("https://" TESSARO_FIRMWARE_HOST "/firmware/latest"));
        settings().server_base = normalized_base(server_.base_url() + "/");
        QCOMPARE(release_address(), server_.base_url() + "/firmware/latest");
        QString error;
        QVERIFY(add_trusted_ca_file(tls_file("ca.crt"), &error));
        QVERIFY(!add_trusted_ca_file(tls_file("make-certs.sh"), &error));
        QVERIFY(!error.isEmpty());
        settings().stall_timeout_ms = 10000; // generous: sanitizer builds on a busy machine are slow
        const QSslConfiguration tls = firmware_tls_configuration();
        QCOMPARE(tls.peerVerifyMode(), QSslSocket::VerifyPeer);
        QCOMPARE(tls.protocol(), QSsl::TlsV1_2OrLater);
    }

    void query_data()
    {
        QTest::addColumn<QString>("cert");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("stall");
        QTest::addColumn<QString>("expected");

        const QByteArray good = R"({"version":"1.2","url":"https://h/firmware/a.hex","md5":"00"})";
        QTest::newRow("good answer") << "server" << 200 << good << false << QString::fromUtf8(good);
        QTest::newRow("zero byte cuts") << "server" << 200 << QByteArray("{\"a\":1}\0tail", 12) << false << "{\"a\":1}";
        QTest::newRow("404 page is returned")
            << "server" << 404 << QByteArray("<h1>404 Not Found</h1>") << false << "<h1>404 Not Found</h1>";
        QTest::newRow("self-signed refused") << "selfsigned" << 200 << good << false << QString();
        QTest::newRow("expired refused") << "expired" << 200 << good << false << QString();
        QTest::newRow("wrong name refused") << "wrongname" << 200 << good << false << QString();
        QTest::newRow("stall times out") << "server" << 200 << good << true << QString();
    }
    void query()
    {
        QFETCH(QString, cert);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, stall);
        QFETCH(QString, expected);

        QVERIFY(use_certificate(server_, cert));
        server_.set_route("/firmware/latest", status, body);
        server_.set_stall(stall);
        // Only a stalled server should hit the timeout, so only then is it short.
        ScopedSettings scope;
        settings().stall_timeout_ms = stall ? 200 : 10000;
        TestNet net;
        const QString answer = net.get_latest();
        server_.set_stall(false);
        QCOMPARE(answer, expected);
        QVERIFY(net.manager != nullptr);
        QVERIFY(net.request != nullptr);
        QCOMPARE(net.request->url().path(), QStringLiteral("/firmware/latest"));
    }

    // A second query replaces manager and request; the sanitizer build checks nothing leaks.
    void requery()
    {
        QVERIFY(use_certificate(server_, "server"));
        server_.set_route("/firmware/latest", 200, "one");
        TestNet net;
        QCOMPARE(net.get_latest(), QStringLiteral("one"));
        server_.set_route("/firmware/latest", 200, "two");
        QCOMPARE(net.get_latest(), QStringLiteral("two"));
        QCOMPARE(server_.last_path(), QByteArray("/firmware/latest"));
    }

    void refusedConnection()
    {
        FirmwareServer closed;
        QVERIFY(closed.listen_local());
        const QString base = closed.base_url();
        closed.close();
        settings().server_base = normalized_base(base);
        TestNet net;
        QCOMPARE(net.get_latest(), QString());
        settings().server_base = normalized_base(server_.base_url());
    }

private:
    ScopedSettings settings_scope_;
    FirmwareServer server_;
};

QTEST_MAIN(TestReleaseQuery)
#include "TestReleaseQuery.moc"
