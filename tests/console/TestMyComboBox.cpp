#include "console/MyComboBox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

class TestMyComboBox : public QObject
{
    Q_OBJECT

private slots:
    void pressEmitsOnce_data();
    void pressEmitsOnce();
    void pressRefillsBeforeListOpens();
    void keyboardOpening_data();
    void keyboardOpening();
    void oneMethod();
};

namespace {

std::unique_ptr<MyComboBox> shown(const QStringList& items)
{
    auto combo = std::make_unique<MyComboBox>(nullptr);
    combo->addItems(items);
    combo->show();
    return combo;
}

} // namespace

void TestMyComboBox::pressEmitsOnce_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("left") << int(Qt::LeftButton) << QStringList {"a"};
    QTest::newRow("right") << int(Qt::RightButton) << QStringList {"a"};
    QTest::newRow("left, empty list") << int(Qt::LeftButton) << QStringList();
}

void TestMyComboBox::pressEmitsOnce()
{
    QFETCH(int, button);
    QFETCH(QStringList, items);
    const auto combo = shown(items);
    QVERIFY(QTest::qWaitForWindowExposed(combo.get()));
    QSignalSpy spy(combo.get(), &MyComboBox::OnPressed);
    QTest::mousePress(combo.get(), Qt::MouseButton(button));
    QCOMPARE(spy.count(), 1);
    QTest::mouseRelease(combo.get(), Qt::MouseButton(button));
    combo->hidePopup();
    QTest::mousePress(combo.get(), Qt::MouseButton(button));
    QCOMPARE(spy.count(), 2);
    combo->hidePopup();
}

// A directly connected handler runs to its end before the list opens.
void TestMyComboBox::pressRefillsBeforeListOpens()
{
    const auto combo = shown({"old"});
    bool open_when_pressed = true;
    QObject::connect(combo.get(), &MyComboBox::OnPressed, combo.get(), [&combo, &open_when_pressed]() {
        open_when_pressed = combo->view()->isVisible();
        combo->clear();
        combo->addItems({"x", "y"});
    });
    QVERIFY(QTest::qWaitForWindowExposed(combo.get()));
    QTest::mousePress(combo.get(), Qt::LeftButton);
    QVERIFY(!open_when_pressed);
    QCOMPARE(combo->view()->model()->rowCount(), 2);
    QCOMPARE(combo->itemText(0), QStringLiteral("x"));
    QVERIFY(combo->view()->isVisible());
    combo->hidePopup();
}

void TestMyComboBox::keyboardOpening_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("editable");
    QTest::addColumn<bool>("opens");
    QTest::newRow("Alt+Down") << int(Qt::Key_Down) << int(Qt::AltModifier) << false << true;
    QTest::newRow("Alt+Up") << int(Qt::Key_Up) << int(Qt::AltModifier) << false << true;
    QTest::newRow("F4") << int(Qt::Key_F4) << int(Qt::NoModifier) << false << true;
    // Typed into the field of an editable picker, the keys reach it the same way.
    QTest::newRow("Alt+Down, editable") << int(Qt::Key_Down) << int(Qt::AltModifier) << true << true;
    QTest::newRow("F4, editable") << int(Qt::Key_F4) << int(Qt::NoModifier) << true << true;
    QTest::newRow("Down") << int(Qt::Key_Down) << int(Qt::NoModifier) << false << false;
    QTest::newRow("Shift+F4") << int(Qt::Key_F4) << int(Qt::ShiftModifier) << false << false;
}

// The keys that open the list announce it first, as a press does, so the list
// opens on the refilled items; other keys announce nothing.
void TestMyComboBox::keyboardOpening()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, editable);
    QFETCH(bool, opens);
    const auto combo = shown({"old"});
    combo->setEditable(editable);
    QVERIFY(QTest::qWaitForWindowActive(combo.get()));
    combo->setFocus();
    bool open_when_announced = true;
    QObject::connect(combo.get(), &MyComboBox::OnPressed, combo.get(), [&combo, &open_when_announced]() {
        open_when_announced = combo->view()->isVisible();
        combo->clear();
        combo->addItems({"x", "y"});
    });
    QSignalSpy spy(combo.get(), &MyComboBox::OnPressed);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(spy.count(), opens ? 1 : 0);
    QCOMPARE(combo->view()->isVisible(), opens);
    if (opens) {
        QVERIFY(!open_when_announced);
        QCOMPARE(combo->itemText(0), QStringLiteral("x"));
    }
    combo->hidePopup();
}

// The keyboard's announcement adds no method: the signal stays the only one.
void TestMyComboBox::oneMethod()
{
    const QMetaObject& meta = MyComboBox::staticMetaObject;
    QCOMPARE(meta.methodCount() - meta.methodOffset(), 1);
    QCOMPARE(meta.method(meta.methodOffset()).methodSignature(), QByteArray("OnPressed()"));
}

QTEST_MAIN(TestMyComboBox)
#include "TestMyComboBox.moc"
