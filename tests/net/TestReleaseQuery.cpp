#include "NetFixture.h"
#include "net/ServerConfig.h"
#include "net/TestNet.h"
#include "update/ScopedSettings.h"

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
        net_settings().server_base = normalized_base(server_.base_url());
        QString error;
        QVERIFY2(add_trusted_ca_file(tls_file("ca.crt"), &error), qPrintable(error));
        QVERIFY(!add_trusted_ca_file(tls_file("make-certs.sh"), &error));
        QVERIFY(!error.isEmpty());
        // The added CA comes on top of the system's roots, which stay trusted.
        QCOMPARE(firmware_tls_configuration().caCertificates().size(),
                 QSslConfiguration::systemCaCertificates().size() + 1);
    }
    void query_data()
    {
        QTest::addColumn<QString>("cert");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("server"); // "stall", "trickle" or a plain server
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("failure"); // UpdateFailure

        const QByteArray good = R"({"version":"1.2","url":"https://h/firmware/a.hex","md5":"00"})";
        QTest::newRow("zero byte cuts") << "server" << 200 << QByteArray("{\"a\":1}\0tail", 12) << ""
                                        << "{\"a\":1}" << int(UpdateFailure::None);
        QTest::newRow("404 page is returned") << "server" << 404 << QByteArray("<h1>404 Not Found</h1>") << ""
                                              << "<h1>404 Not Found</h1>" << int(UpdateFailure::ReleaseHttpStatus);
        const int tls = int(UpdateFailure::ReleaseTlsRefused);
        const int silent = int(UpdateFailure::ReleaseNoAnswer);
        QTest::newRow("self-signed refused") << "selfsigned" << 200 << good << "" << QString() << tls;
        QTest::newRow("expired refused") << "expired" << 200 << good << "" << QString() << tls;
        QTest::newRow("wrong name refused") << "wrongname" << 200 << good << "" << QString() << tls;
        QTest::newRow("stall times out") << "server" << 200 << good << "stall" << QString() << silent;
        QTest::newRow("trickle meets the deadline") << "server" << 200 << good << "trickle" << QString() << silent;
        QTest::newRow("answer over 64 KiB") << "server" << 200 << QByteArray(64 * 1024 + 1, 'a') << "" << QString()
                                            << int(UpdateFailure::AnswerRefused);
    }
    void query()
    {
        QFETCH(QString, cert);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, server);
        QFETCH(QString, expected);
        QFETCH(int, failure);

        QVERIFY(use_certificate(server_, cert));
        server_.set_route("/firmware/latest", status, body);
        server_.set_stall(server == QLatin1String("stall"));
        server_.set_trickle(server == QLatin1String("trickle") ? 20 : 0);
        // Only a stalled or trickling server should hit its bound, so only then
        // is it short; otherwise generous: sanitizer builds on a busy machine are slow.
        ScopedSettings scope;
        net_settings().stall_timeout_ms = server == QLatin1String("stall") ? 200 : 10000;
        net_settings().answer_deadline_ms = server == QLatin1String("trickle") ? 300 : 60000;
        TestNet net;
        const QString answer = net.get_latest();
        server_.set_stall(false);
        server_.set_trickle(0);
        QCOMPARE(answer, expected);
        QCOMPARE(net.lastError().isEmpty(), status == 200 && !expected.isEmpty());
        QCOMPARE(int(net.lastFailure()), failure);
    }

    // A refused connection gives an empty answer; the next query replaces
    // manager and request, and the sanitizer build checks nothing leaks. A
    // base given with a trailing slash still reaches /firmware/latest.
    void refusedThenRequery()
    {
        FirmwareServer closed;
        QVERIFY(closed.listen_local());
        net_settings().server_base = normalized_base(closed.base_url());
        closed.close();
        TestNet net;
        QCOMPARE(net.get_latest(), QString());
        QCOMPARE(net.lastFailure(), UpdateFailure::ReleaseNoAnswer);

        net_settings().server_base = normalized_base(server_.base_url() + "/");
        QVERIFY(use_certificate(server_, "server"));
        server_.set_route("/firmware/latest", 200, "one");
        QCOMPARE(net.get_latest(), QStringLiteral("one"));
        QCOMPARE(net.lastFailure(), UpdateFailure::None);
        QCOMPARE(server_.last_path(), QByteArray("/firmware/latest"));
    }

private:
    ScopedSettings settings_scope_;
    FirmwareServer server_;
};

QTEST_MAIN(TestReleaseQuery)
#include "TestReleaseQuery.moc"
