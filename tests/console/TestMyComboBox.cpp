#include "console/MyComboBox.h"

#include <QAbstractItemView>
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
    void keyboardOpeningEmitsNothing();
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

void TestMyComboBox::keyboardOpeningEmitsNothing()
{
    const auto combo = shown({"kept"});
    QVERIFY(QTest::qWaitForWindowExposed(combo.get()));
    combo->setFocus();
    QSignalSpy spy(combo.get(), &MyComboBox::OnPressed);
    QTest::keyClick(combo.get(), Qt::Key_Down, Qt::AltModifier);
    QTest::keyClick(combo.get(), Qt::Key_F4);
    combo->showPopup();
    QCOMPARE(spy.count(), 0);
    QCOMPARE(combo->count(), 1);
    QCOMPARE(combo->itemText(0), QStringLiteral("kept"));
    combo->hidePopup();
}

QTEST_MAIN(TestMyComboBox)
#include "TestMyComboBox.moc"
