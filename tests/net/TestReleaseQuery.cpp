#include "NetFixture.h"
#include "log/Settings.h"
#include "net/ServerConfig.h"
#include "net/TestNet.h"

#include <QtTest>

class TestReleaseQuery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The product's own server, until the settings name another.
        QCOMPARE(release_address(), QStringLiteral("https://" TESSARO_FIRMWARE_HOST "/firmware/latest"));
        QVERIFY(server_.listen_local());
        settings().server_base = normalized_base(server_.base_url());
        QString error;
        QVERIFY2(add_trusted_ca_file(tls_file("ca.crt"), &error), qPrintable(error));
        QVERIFY(!add_trusted_ca_file(tls_file("make-certs.sh"), &error));
        QVERIFY(!error.isEmpty());
    }
    void query_data()
    {
        QTest::addColumn<QString>("cert");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("stall");
        QTest::addColumn<QString>("expected");

        const QByteArray good = R"({"version":"1.2","url":"https://h/firmware/a.hex","md5":"00"})";
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
        // Only a stalled server should hit the timeout, so only then is it short;
        // otherwise generous: sanitizer builds on a busy machine are slow.
        ScopedSettings scope;
        settings().stall_timeout_ms = stall ? 200 : 10000;
        TestNet net;
        const QString answer = net.get_latest();
        server_.set_stall(false);
        QCOMPARE(answer, expected);
    }

    // A refused connection gives an empty answer; the next query replaces
    // manager and request, and the sanitizer build checks nothing leaks. A
    // base given with a trailing slash still reaches /firmware/latest.
    void refusedThenRequery()
    {
        FirmwareServer closed;
        QVERIFY(closed.listen_local());
        settings().server_base = normalized_base(closed.base_url());
        closed.close();
        TestNet net;
        QCOMPARE(net.get_latest(), QString());

        settings().server_base = normalized_base(server_.base_url() + "/");
        QVERIFY(use_certificate(server_, "server"));
        server_.set_route("/firmware/latest", 200, "one");
        QCOMPARE(net.get_latest(), QStringLiteral("one"));
        QCOMPARE(server_.last_path(), QByteArray("/firmware/latest"));
    }

private:
    ScopedSettings settings_scope_;
    FirmwareServer server_;
};

QTEST_MAIN(TestReleaseQuery)
#include "TestReleaseQuery.moc"
