#include "support/ToolRun.h"

#include <QtTest>

class TestUpdaterSimOptions : public QObject
{
    Q_OBJECT
private slots:
    void answersWithoutDisplay_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("expected"); // part of the output
        QTest::newRow("--help") << "--help"
                                << "--server <URL>";
        QTest::newRow("-h") << "-h"
                            << "--advanced";
        QTest::newRow("--help-all") << "--help-all"
                                    << "--qmljsdebugger";
        QTest::newRow("--version") << "--version"
                                   << "tessaro-updater-sim 1.1.0\n";
    }
    // On a terminal with no display: the X11 platform, which would abort the
    // program when it starts a window, and no X server to reach.
    void answersWithoutDisplay()
    {
        QFETCH(QString, option);
        QFETCH(QString, expected);
        const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
        const QByteArray display = qgetenv("DISPLAY");
        qputenv("QT_QPA_PLATFORM", "xcb");
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        const ToolRun run = run_tool(QStringLiteral("tessaro-updater-sim"), {option});
        qputenv("QT_QPA_PLATFORM", platform);
        if (!display.isEmpty()) {
            qputenv("DISPLAY", display);
        }
        QCOMPARE(run.code, 0);
        QVERIFY2(run.out.contains(expected), qPrintable(run.out + run.err));
    }
};

QTEST_GUILESS_MAIN(TestUpdaterSimOptions)
#include "TestUpdaterSimOptions.moc"
