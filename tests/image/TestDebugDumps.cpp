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
    void boxes_data()
    {
        QTest::addColumn<std::function<void()>>("call");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("texts");
        static unsigned char bytes[] = {0x0A, 0xFF};
        static int ints[] = {7, -12, 0};
        static unsigned short words[] = {0x1D0F, 0x0001};
        static unsigned int longs[] = {0x08004000, 0xDEADBEEF};
        const auto row = [](const char* name, std::function<void()> call, const char* title, const QStringList& texts) {
            QTest::newRow(name) << call << QString::fromLatin1(title) << texts;
        };
        row("bytes, one box, lower-case pairs", [] { Show_UINT8Data(bytes, 2); }, "Show_UINT8Data", {"0aff"});
        row("no bytes (count -1) still shows a box", [] { Show_UINT8Data(bytes, -1); }, "Show_UINT8Data", {""});
        row("negative int", [] { Show_IntData(-42); }, "Show_IntData", {"-42"});
        row("ints grow box by box", [] { Show_IntDataS(ints, 3); }, "Show_IntDataS", {"7", "7-12", "7-120"});
        row("no ints, no box", [] { Show_IntDataS(ints, 0); }, "Show_IntDataS", {});
        row("u16", [] { Show_UINT16Data(0x00AB); }, "Show_UINT16Data", {"0x00ab"});
        row("u16 array", [] { Show_UINT16DataS(words, 2); }, "Show_UINT16DataS", {"0x1d0f", "0x1d0f0x0001"});
        row("u32", [] { Show_UINT32Data(0x08004000); }, "Show_UINT32Data", {"0x08004000"});
        row("u32 array", [] { Show_UINT32DataS(longs, 2); }, "Show_UINT32DataS",
            {"0x08004000", "0x080040000xdeadbeef"});
        row("no u32, no box", [] { Show_UINT32DataS(longs, -5); }, "Show_UINT32DataS", {});
    }
    void boxes()
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
};

QTEST_MAIN(TestDebugDumps)
#include "TestDebugDumps.moc"
