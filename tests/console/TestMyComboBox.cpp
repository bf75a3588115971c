#include "console/MyComboBox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QtTest>

class TestMyComboBox : public QObject
{
    Q_OBJECT

private slots:
    void opening_data()
    {
        QTest::addColumn<QString>("input"); // a mouse press, or the keys as a key sequence names them
        QTest::addColumn<bool>("editable");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<bool>("opens");
        const QStringList old {"old"};
        QTest::newRow("left press") << "left press" << false << old << true;
        QTest::newRow("left press, empty list") << "left press" << false << QStringList() << true;
        // Announced all the same; only the left button opens a list.
        QTest::newRow("right press") << "right press" << false << old << false;
        QTest::newRow("Alt+Down") << "Alt+Down" << false << old << true;
        QTest::newRow("Alt+Up") << "Alt+Up" << false << old << true;
        QTest::newRow("F4") << "F4" << false << old << true;
        // Typed into the field of an editable picker, the keys reach it the same way.
        QTest::newRow("Alt+Down, editable") << "Alt+Down" << true << old << true;
        QTest::newRow("F4, editable") << "F4" << true << old << true;
        QTest::newRow("Down") << "Down" << false << old << false;
        QTest::newRow("Shift+F4") << "Shift+F4" << false << old << false;
    }
    // Every press, and every key that opens the list, announces it first, each
    // time: a directly connected handler runs to its end before the list opens,
    // so the list shows the refilled items. Other keys announce nothing.
    void opening()
    {
        QFETCH(QString, input);
        QFETCH(bool, editable);
        QFETCH(QStringList, items);
        QFETCH(bool, opens);
        const bool mouse = input.endsWith(QLatin1String(" press"));
        MyComboBox combo(nullptr);
        combo.addItems(items);
        combo.setEditable(editable);
        combo.show();
        QVERIFY(QTest::qWaitForWindowActive(&combo));
        combo.setFocus();
        bool open_when_announced = true;
        connect(&combo, &MyComboBox::OnPressed, &combo, [&combo, &open_when_announced]() {
            open_when_announced = combo.view()->isVisible();
            combo.clear();
            combo.addItems({"x", "y"});
        });
        QSignalSpy spy(&combo, &MyComboBox::OnPressed);
        for (int time = 1; time <= 2; ++time) {
            if (mouse) {
                QTest::mousePress(&combo, input.startsWith(QLatin1String("left")) ? Qt::LeftButton : Qt::RightButton);
            } else {
                const int keys = QKeySequence(input)[0];
                QTest::keyClick(QApplication::focusWidget(), Qt::Key(keys & ~Qt::KeyboardModifierMask),
                                Qt::KeyboardModifiers(keys & Qt::KeyboardModifierMask));
            }
            QCOMPARE(spy.count(), opens || mouse ? time : 0);
            QCOMPARE(combo.view()->isVisible(), opens);
            QVERIFY(!opens || (!open_when_announced && combo.count() == 2 && combo.itemText(0) == "x"));
            combo.hidePopup();
        }
    }

    // The keyboard's announcement adds no method: the signal stays the only one.
    void oneMethod()
    {
        const QMetaObject& meta = MyComboBox::staticMetaObject;
        QCOMPARE(meta.methodCount() - meta.methodOffset(), 1);
        QCOMPARE(meta.method(meta.methodOffset()).methodSignature(), QByteArray("OnPressed()"));
    }
};

QTEST_MAIN(TestMyComboBox)
#include "TestMyComboBox.moc"
