#include "log/MyLog.h"
#include "support/RunLog.h"
#include "support/TempImage.h"

#include <QtTest>

class TestMyLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(dir_.path()));
        // An earlier run of the same day left a line behind.
        QVERIFY(write_file(run_log::fileName(), "earlier run\n"));
    }
    void lineFormat_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QStringLiteral("Send begin");
        QTest::newRow("chinese") << QStringLiteral("搜索到的设备数：2");
        QTest::newRow("empty") << QString();
    }
    void lineFormat()
    {
        QFETCH(QString, text);
        MyLog::GetInstance()->WriteLog(text);
        // Flushed: the line is on disk at once, after those of an earlier run, and ends the file.
        const QStringList lines = QString::fromLocal8Bit(read_file(run_log::fileName())).split(QLatin1Char('\n'));
        QCOMPARE(lines.first(), QStringLiteral("earlier run"));
        QCOMPARE(lines.last(), QString());
        const QString line = lines.at(lines.size() - 2);
        static const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}    "));
        QVERIFY2(stamp.match(line).hasMatch(), qPrintable(line));
        QCOMPARE(line.mid(23), text);
    }
    // Root can write anywhere, so the day's file name is taken by a folder: the
    // logger cannot open it, and writing does nothing and harms nothing.
    void unopenableFileIsIgnored()
    {
        QTemporaryDir other;
        QVERIFY(QDir(other.path()).mkdir(run_log::fileName()));
        QVERIFY(QDir::setCurrent(other.path()));
        MyLog().WriteLog(QStringLiteral("lost"));
        QVERIFY(QDir::setCurrent(dir_.path()));
        QCOMPARE(QDir(other.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList {run_log::fileName()});
        QVERIFY(QDir(other.filePath(run_log::fileName())).isEmpty());
    }

private:
    QTemporaryDir dir_;
};

QTEST_GUILESS_MAIN(TestMyLog)
#include "TestMyLog.moc"
