#include "log/MyLog.h"
#include "support/RunLog.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class TestMyLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void lineFormat_data();
    void lineFormat();
    void unopenableFileIsIgnored();

private:
    QString logPath() const { return dir_.path() + QStringLiteral("/") + run_log::fileName(); }
    QStringList lines() const
    {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'));
    }

    QTemporaryDir dir_;
};

void TestMyLog::initTestCase()
{
    QVERIFY(dir_.isValid());
    QVERIFY(QDir::setCurrent(dir_.path()));
    // An earlier run of the same day left a line behind.
    QFile earlier(logPath());
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier run\n");
}

void TestMyLog::lineFormat_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("ascii") << QStringLiteral("Send begin");
    QTest::newRow("chinese") << QStringLiteral("搜索到的设备数：2");
    QTest::newRow("empty") << QString();
}

void TestMyLog::lineFormat()
{
    QFETCH(QString, text);
    MyLog::GetInstance()->WriteLog(text);
    // Flushed: the line is on disk at once, after those of an earlier run.
    const QStringList all = lines();
    QVERIFY(all.size() >= 3);
    QCOMPARE(all.first(), QStringLiteral("earlier run"));
    QCOMPARE(all.last(), QString());
    const QString line = all.at(all.size() - 2);
    static const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}    "));
    QVERIFY2(stamp.match(line).hasMatch(), qPrintable(line));
    QCOMPARE(line.mid(23), text);
}

// Root can write anywhere, so the day's file name is taken by a folder: the
// logger cannot open it, and writing does nothing and harms nothing.
void TestMyLog::unopenableFileIsIgnored()
{
    QTemporaryDir other;
    QVERIFY(other.isValid());
    const QString name = run_log::fileName();
    QVERIFY(QDir(other.path()).mkdir(name));
    QVERIFY(QDir::setCurrent(other.path()));
    {
        MyLog log;
        log.WriteLog(QStringLiteral("lost"));
    }
    QVERIFY(QDir::setCurrent(dir_.path()));
    QCOMPARE(QDir(other.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList {name});
    QVERIFY(QFileInfo(other.filePath(name)).isDir());
}

QTEST_GUILESS_MAIN(TestMyLog)
#include "TestMyLog.moc"
