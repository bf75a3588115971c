#include "TestConfig.h"
#include "cli/Command.h"
#include "log/ExitStatus.h"
#include "support/ToolRun.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QtTest>

namespace {

QString source_text(const QString& relative)
{
    QFile file(QStringLiteral(TESSARO_SOURCE_DIR "/") + relative);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The text between the line that starts with `from` and the next line that
// starts with `until`.
QString section(const QString& text, const QString& from, const QString& until)
{
    const int start = text.indexOf(QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(from),
                                                      QRegularExpression::MultilineOption));
    if (start < 0) {
        return QString();
    }
    const int end = text.indexOf(QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(until),
                                                    QRegularExpression::MultilineOption),
                                 start + from.size());
    return text.mid(start, end < 0 ? -1 : end - start);
}

// Each status a text lists, with what it says of it: `pattern` captures the
// number and the words.
QMap<int, QString> listed_statuses(const QString& text, const QString& pattern)
{
    QMap<int, QString> statuses;
    QRegularExpressionMatchIterator it
        = QRegularExpression(pattern, QRegularExpression::MultilineOption).globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        // The manual page's words wrap and escape their dashes.
        statuses.insert(match.captured(1).toInt(), match.captured(2).remove(QLatin1Char('\\')).simplified().toLower());
    }
    return statuses;
}

QMap<int, QString> statuses_in(const QString& where)
{
    if (where == QLatin1String("--help")) {
        const QString help = run_tool(QStringLiteral("tessaro-flash"), {QStringLiteral("--help")}).out;
        return listed_statuses(section(help, QStringLiteral("Exit status of"), QStringLiteral("info:")),
                               QStringLiteral("^  (\\d+)  (.+)$"));
    }
    if (where == QLatin1String("docs/CLI.md")) {
        return listed_statuses(section(source_text(where), QStringLiteral("## Exit status"), QStringLiteral("## ")),
                               QStringLiteral("^\\| (\\d+) \\| (.+) \\|$"));
    }
    return listed_statuses(section(source_text(where), QStringLiteral(".SH EXIT STATUS"), QStringLiteral(".SH")),
                           QStringLiteral("^\\.TP\\n\\.B (\\d+)\\n((?:(?!\\.TP|\\.PP|\\.SH)[^\\n]*\\n)+)"));
}

} // namespace

// The help, docs/CLI.md and the manual page against the tables they describe:
// the exit statuses and the command registry.
class TestFlashHelp : public QObject
{
    Q_OBJECT
private slots:
    void exitStatuses_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("help") << "--help";
        QTest::newRow("docs") << "docs/CLI.md";
        QTest::newRow("manual page") << "packaging/linux/tessaro-flash.1.in";
    }
    void exitStatuses()
    {
        QFETCH(QString, where);
        const QMap<int, QString> listed = statuses_in(where);
        QList<int> wanted;
        for (const ExitStatusRow& row : exit_statuses()) {
            wanted << row.code;
            const QString meaning = QString::fromLatin1(row.meaning).toLower();
            QVERIFY2(listed.value(row.code).contains(meaning),
                     qPrintable(QStringLiteral("%1 says of %2: '%3', not '%4'")
                                    .arg(where)
                                    .arg(row.code)
                                    .arg(listed.value(row.code), meaning)));
        }
        QCOMPARE(listed.keys(), wanted);
    }

    // Each option once: every option a command names has its own row, and no
    // name is given twice.
    void optionTable()
    {
        QStringList names;
        for (const CliOptionRow& row : cli_options()) {
            names << row.names;
        }
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
        for (const std::unique_ptr<Command>& command : command_registry()) {
            for (CliOption option : command->spec().options) {
                QVERIFY(cli_option(option).id == option);
            }
        }
    }

    void everyCommandDocumented_data()
    {
        QTest::addColumn<QString>("name");
        for (const std::unique_ptr<Command>& command : command_registry()) {
            QTest::newRow(qPrintable(command->name())) << command->name();
        }
    }
    void everyCommandDocumented()
    {
        QFETCH(QString, name);
        const Command* command = find_command(name);
        const ToolRun help = run_tool(QStringLiteral("tessaro-flash"), {name, QStringLiteral("--help")});
        QCOMPARE(help.code, 0);
        QCOMPARE(help.out, command->helpText());
        QVERIFY(run_tool(QStringLiteral("tessaro-flash"), {QStringLiteral("--help")}).out.contains("\n  " + name));
        // docs/CLI.md shows the usage line as the command declares it.
        QVERIFY2(source_text(QStringLiteral("docs/CLI.md")).contains(command->usage()), qPrintable(command->usage()));
        QVERIFY(source_text(QStringLiteral("README.md")).contains(QStringLiteral("tessaro-flash ") + name));
        const QString manual = source_text(QStringLiteral("packaging/linux/tessaro-flash.1.in"));
        QVERIFY(section(manual, QStringLiteral(".SH SYNOPSIS"), QStringLiteral(".SH"))
                    .contains(QStringLiteral(".B tessaro-flash ") + name + '\n'));
        const QString options = section(manual, QStringLiteral(".SH OPTIONS"), QStringLiteral(".SH EXIT"));
        for (CliOption option : command->spec().options) {
            const QString long_name = QStringLiteral("\\-\\-") + cli_option(option).names.last();
            QVERIFY2(options.contains(long_name), qPrintable(long_name));
        }
    }
};

QTEST_GUILESS_MAIN(TestFlashHelp)
#include "TestFlashHelp.moc"
