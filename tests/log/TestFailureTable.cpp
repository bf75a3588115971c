#include "TestConfig.h"
#include "log/Failure.h"
#include "support/TempImage.h"

#include <QtTest>

// The failure table as its front ends need it: every row complete, and the
// exit status and the wallet's state agreeing with each other.
class TestFailureTable : public QObject
{
    Q_OBJECT
private slots:
    void rows_data()
    {
        QTest::addColumn<int>("failure");
        for (const FailureRow& row : failure_table()) {
            QTest::newRow(qPrintable(row.name)) << int(row.failure);
        }
    }
    void rows()
    {
        QFETCH(int, failure);
        const FailureRow& row = failure_row(UpdateFailure(failure));
        QCOMPARE(int(row.failure), failure); // each row in its enumeration's place
        QVERIFY2(QRegularExpression(QStringLiteral("^[a-z]+(-[a-z]+)*$")).match(row.name).hasMatch(),
                 qPrintable(row.name));
        QVERIFY(!exit_meaning(row.exit).isEmpty());
        QVERIFY(!row.reason.isEmpty());
        QVERIFY(!row.manual_status.isEmpty());
        // What happened and what to do next, in the owner's words: Chinese only
        // (the facts filled in aside), ending a sentence.
        QVERIFY2(!row.cause.isEmpty() && row.cause.endsWith(QStringLiteral("。")), qPrintable(row.name));
        QVERIFY2(!QString(row.cause)
                      .remove(QRegularExpression(QStringLiteral("\\{[a-z]+\\}|HTTP|udev")))
                      .contains(QRegularExpression(QStringLiteral("[A-Za-z]{3,}"))),
                 qPrintable(row.cause));
        // Only an erased wallet's row says it was erased, and only a touched one can be.
        QVERIFY(!row.erased || row.touched);
        // Every line of the run log is one of the manual download's.
        for (const QString& line : row.log_lines) {
            QVERIFY2(line.startsWith(QLatin1String("Send ")), qPrintable(line));
        }
        // A box of the advanced window has its title.
        QCOMPARE(row.manual_box.isEmpty(), row.manual_box_title.isEmpty());
        if (row.failure == UpdateFailure::None) {
            QCOMPARE(row.exit, EXIT_OK);
            return;
        }
        // Once anything went to the wallet every failure is 1, before that never.
        QCOMPARE(row.exit == EXIT_FAILED, row.touched);
        QVERIFY(row.exit != EXIT_OK && row.exit != EXIT_USAGE);
        // An erased wallet's reason says where it waits, and its owner is told
        // it waits to be finished; one not yet erased is told so.
        QVERIFY(!row.erased || row.reason.contains(QLatin1String("bootloader")));
        QVERIFY2(!row.erased || row.cause.contains(QStringLiteral("升级模式中等待")), qPrintable(row.name));
        QVERIFY2(!row.touched || row.erased || row.failure == UpdateFailure::EraseRefused
                     || row.cause.contains(QStringLiteral("还没有被擦除")),
                 qPrintable(row.name));
        // Every failure the windows can meet is told somewhere in them; the
        // command line alone names wallets or takes several.
        const bool command_line_only = row.failure == UpdateFailure::SeveralWallets
            || row.failure == UpdateFailure::NotCommandInterface || row.failure == UpdateFailure::NoWalletOnPort;
        QVERIFY(!row.auto_box.isEmpty() || !row.manual_box.isEmpty() || !row.log_lines.isEmpty() || command_line_only);
    }
    // Each row's name is its own, and each box the owner can meet says
    // something of its own.
    void namesAndCausesTellFailuresApart()
    {
        QSet<QString> names;
        QSet<QString> causes;
        for (const FailureRow& row : failure_table()) {
            names.insert(row.name);
            causes.insert(row.cause);
        }
        QCOMPARE(names.size(), failure_table().size());
        QCOMPARE(causes.size(), failure_table().size());
        QCOMPARE(failure_table().first().name, QStringLiteral("none"));
        QVERIFY(failure_row(UpdateFailure::None).cause.contains(QStringLiteral("拔下")));
        // The facts the owner needs to act on are in their places.
        QVERIFY(failure_row(UpdateFailure::FolderUnwritable).cause.contains(QLatin1String("{detail}")));
        QVERIFY(failure_row(UpdateFailure::ReleaseTlsRefused).cause.contains(QLatin1String("{server}")));
        QVERIFY(failure_row(UpdateFailure::ReleaseHttpStatus).cause.contains(QLatin1String("{server}")));
        QVERIFY(failure_row(UpdateFailure::ImageRefused).cause.contains(QLatin1String("{file}")));
        QVERIFY(failure_row(UpdateFailure::CrcRefused).cause.contains(QStringLiteral("客服")));
        QVERIFY(failure_row(UpdateFailure::WalletNoPermission).cause.contains(QStringLiteral("远程")));
    }
    void factsFillTheTemplates()
    {
        QCOMPARE(fill_failure_text(QStringLiteral("{detail}{because} {segment}/{report}"),
                                   QStringLiteral("/a/{report}"), QStringLiteral("gone"), 2, 7),
                 QStringLiteral("/a/{report} (gone) 2/7"));
        QCOMPARE(fill_failure_text(QStringLiteral("x{because}"), QString()), QStringLiteral("x"));
        // The folder's row names the folder, with the system's words.
        QCOMPARE(fill_failure_text(failure_row(UpdateFailure::FolderUnwritable).reason, QStringLiteral("/f"),
                                   QStringLiteral("No space left on device"))
                     .left(63),
                 QStringLiteral("the firmware folder /f cannot be written or is full (No space l"));
        // The owner is told which folder, which file, or that none was named.
        FailureFacts facts;
        facts.detail = QStringLiteral("/home/o/fw");
        QVERIFY(failure_cause(UpdateFailure::FolderUnwritable, facts).contains(QStringLiteral("/home/o/fw")));
        facts.detail = QStringLiteral("line 3: bad checksum");
        facts.file = QStringLiteral("/tmp/a.hex");
        QVERIFY(failure_cause(UpdateFailure::ImageRefused, facts)
                    .startsWith(QStringLiteral("固件文件 /tmp/a.hex 格式错误（line 3: bad checksum）")));
        QVERIFY(failure_cause(UpdateFailure::ImageUnreadable).contains(QStringLiteral("未填写文件路径")));
    }
    // The names docs/CLI.md gives scripts are names the tool can print.
    void documentedNamesAreRows()
    {
        const QString text = QString::fromUtf8(read_file(QStringLiteral(TESSARO_TEST_DATA_DIR "/../../docs/CLI.md")));
        const int start = text.indexOf(QStringLiteral("`failure` names what failed"));
        QVERIFY(start >= 0);
        const QString paragraph = text.mid(start, text.indexOf(QStringLiteral("\n\n"), start) - start);
        QSet<QString> names;
        for (const FailureRow& row : failure_table()) {
            names.insert(row.name);
        }
        int documented = 0;
        QRegularExpressionMatchIterator it
            = QRegularExpression(QStringLiteral("`([a-z]+-[a-z-]+)`")).globalMatch(paragraph);
        while (it.hasNext()) {
            const QString name = it.next().captured(1);
            QVERIFY2(names.contains(name), qPrintable(name));
            ++documented;
        }
        QVERIFY(documented > 10);
    }
};

QTEST_MAIN(TestFailureTable)
#include "TestFailureTable.moc"
