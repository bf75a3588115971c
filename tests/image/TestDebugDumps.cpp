#include "image/DebugDumps.h"
#include "support/MessageBoxCatcher.h"

#include <QMessageBox>
#include <QtTest>

#include <functional>

Q_DECLARE_METATYPE(std::function<void()>)

class TestDebugDumps : public QObject
{
    Q_OBJECT
private slots:
    void boxes_data();
    void boxes();
};

void TestDebugDumps::boxes_data()
{
    QTest::addColumn<std::function<void()>>("call");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("texts");

    static unsigned char bytes[] = {0x0A, 0xFF};
    static int ints[] = {7, -12, 0};
    static unsigned short words[] = {0x1D0F, 0x0001};
    static unsigned int longs[] = {0x08004000, 0xDEADBEEF};

    QTest::newRow("bytes, one box, lower-case pairs")
        << std::function<void()>([] { Show_UINT8Data(bytes, 2); }) << "Show_UINT8Data" << QStringList {"0aff"};
    QTest::newRow("no bytes still shows a box")
        << std::function<void()>([] { Show_UINT8Data(bytes, 0); }) << "Show_UINT8Data" << QStringList {""};
    QTest::newRow("negative count of bytes")
        << std::function<void()>([] { Show_UINT8Data(bytes, -1); }) << "Show_UINT8Data" << QStringList {""};
    QTest::newRow("negative int") << std::function<void()>([] { Show_IntData(-42); }) << "Show_IntData"
                                  << QStringList {"-42"};
    QTest::newRow("ints grow box by box") << std::function<void()>([] { Show_IntDataS(ints, 3); }) << "Show_IntDataS"
                                          << QStringList {"7", "7-12", "7-120"};
    QTest::newRow("no ints, no box") << std::function<void()>([] { Show_IntDataS(ints, 0); }) << "Show_IntDataS"
                                     << QStringList {};
    QTest::newRow("u16") << std::function<void()>([] { Show_UINT16Data(0x00AB); }) << "Show_UINT16Data"
                         << QStringList {"0x00ab"};
    QTest::newRow("u16 array") << std::function<void()>([] { Show_UINT16DataS(words, 2); }) << "Show_UINT16DataS"
                               << QStringList {"0x1d0f", "0x1d0f0x0001"};
    QTest::newRow("u32") << std::function<void()>([] { Show_UINT32Data(0x08004000); }) << "Show_UINT32Data"
                         << QStringList {"0x08004000"};
    QTest::newRow("u32 array, each value prefixed")
        << std::function<void()>([] { Show_UINT32DataS(longs, 2); }) << "Show_UINT32DataS"
        << QStringList {"0x08004000", "0x080040000xdeadbeef"};
    QTest::newRow("no u32, no box") << std::function<void()>([] { Show_UINT32DataS(longs, -5); }) << "Show_UINT32DataS"
                                    << QStringList {};
}

void TestDebugDumps::boxes()
{
    QFETCH(std::function<void()>, call);
    QFETCH(QString, title);
    QFETCH(QStringList, texts);
    MessageBoxCatcher catcher;
    call();
    QCOMPARE(catcher.texts(), texts);
    for (const MessageBoxCatcher::Box& box : catcher.boxes()) {
        QCOMPARE(box.title, title);
        QCOMPARE(box.buttons, int(QMessageBox::Ok));
        QVERIFY(!box.hasParent);
    }
}

QTEST_MAIN(TestDebugDumps)
#include "TestDebugDumps.moc"
