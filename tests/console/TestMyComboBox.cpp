#include "console/MyComboBox.h"

#include <QAbstractItemView>
#include <QSignalSpy>
#include <QtTest>

class TestMyComboBox : public QObject
{
    Q_OBJECT

private slots:
    void pressEmitsOnce_data();
    void pressEmitsOnce();
    void pressRefillsBeforeListOpens();
    void keyboardOpeningEmitsNothing();
    void unconnectedBehavesLikeComboBox();
};

void TestMyComboBox::pressEmitsOnce_data()
{
    QTest::addColumn<int>("buttonValue");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("left") << int(Qt::LeftButton) << true;
    QTest::newRow("right") << int(Qt::RightButton) << true;
    QTest::newRow("middle") << int(Qt::MiddleButton) << true;
    QTest::newRow("left, empty list") << int(Qt::LeftButton) << false;
}

void TestMyComboBox::pressEmitsOnce()
{
    QFETCH(int, buttonValue);
    const auto button = static_cast<Qt::MouseButton>(buttonValue);
    QFETCH(bool, enabled);
    MyComboBox combo(nullptr);
    if (enabled) {
        combo.addItem(QStringLiteral("a"));
    }
    combo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&combo));
    QSignalSpy spy(&combo, &MyComboBox::OnPressed);
    QTest::mousePress(&combo, button);
    QCOMPARE(spy.count(), 1);
    QTest::mouseRelease(&combo, button);
    combo.hidePopup();
    QTest::mousePress(&combo, button);
    QCOMPARE(spy.count(), 2);
    combo.hidePopup();
}

void TestMyComboBox::pressRefillsBeforeListOpens()
{
    MyComboBox combo(nullptr);
    combo.addItem(QStringLiteral("old"));
    int seenWhenOpening = -1;
    QObject::connect(&combo, &MyComboBox::OnPressed, &combo, [&combo]() {
        combo.clear();
        combo.insertItems(combo.count(), {QStringLiteral("x"), QStringLiteral("y")});
    });
    combo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&combo));
    QTest::mousePress(&combo, Qt::LeftButton);
    seenWhenOpening = combo.view()->model()->rowCount();
    QCOMPARE(seenWhenOpening, 2);
    QCOMPARE(combo.itemText(0), QStringLiteral("x"));
    QVERIFY(combo.view()->isVisible());
    combo.hidePopup();
}

void TestMyComboBox::keyboardOpeningEmitsNothing()
{
    MyComboBox combo(nullptr);
    combo.addItem(QStringLiteral("kept"));
    combo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&combo));
    combo.setFocus();
    QSignalSpy spy(&combo, &MyComboBox::OnPressed);
    QTest::keyClick(&combo, Qt::Key_Down, Qt::AltModifier);
    QTest::keyClick(&combo, Qt::Key_F4);
    combo.showPopup();
    QCOMPARE(spy.count(), 0);
    QCOMPARE(combo.count(), 1);
    QCOMPARE(combo.itemText(0), QStringLiteral("kept"));
    combo.hidePopup();
}

void TestMyComboBox::unconnectedBehavesLikeComboBox()
{
    MyComboBox combo(nullptr);
    combo.setEditable(true);
    combo.addItems({QStringLiteral("p"), QStringLiteral("q")});
    combo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&combo));
    QTest::mousePress(&combo, Qt::LeftButton);
    combo.hidePopup();
    QCOMPARE(combo.count(), 2);
    combo.setCurrentIndex(1);
    QCOMPARE(combo.currentText(), QStringLiteral("q"));
    QVERIFY(QString::fromLatin1(combo.metaObject()->className()) == QStringLiteral("MyComboBox"));
    QVERIFY(combo.inherits("QComboBox"));
}

QTEST_MAIN(TestMyComboBox)
#include "TestMyComboBox.moc"
