#include "app/HomePage.h"
#include "console/Widget.h"
#include "ui_HomePage.h"

#include <QtTest>

class TestHomePage : public QObject
{
    Q_OBJECT
private slots:
    void windowTextsAndPictures();
    void drawnColours_data();
    void drawnColours();
    void hostsTheAdvancedWindow();
};

// What the user meets: a window of fixed size, the one button, the hidden way
// to the advanced window, and both pictures scaled to fit in proportion.
void TestHomePage::windowTextsAndPictures()
{
    HomePage page;
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    page.resize(300, 200);
    QCOMPARE(page.size(), QSize(650, 400));
    QCOMPARE(page.windowTitle(), QStringLiteral("Tessaro硬件钱包软件更新程序"));
    QCOMPARE(page.ui->pbtn_auto->text(), QStringLiteral("自动升级"));
    QVERIFY(page.ui->pbtn_auto->isEnabled());
    QVERIFY(!page.ui->pbtn_advanced->isVisible() && !page.ui->pbtn_advanced->isEnabled());
    QCOMPARE(page.ui->lbl_logo->pixmap(Qt::ReturnByValue).size(), QSize(200, 58));
    QCOMPARE(page.ui->lbl_product->pixmap(Qt::ReturnByValue).size(), QSize(300, 104));
    QVERIFY(page.ui->lbl_product->pixmap(Qt::ReturnByValue).hasAlphaChannel());
}

void TestHomePage::drawnColours_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("y"); // sampled there, half way across
    QTest::addColumn<QString>("colour");
    QTest::newRow("button enabled") << "pbtn_auto" << true << 3 << "#768BFE";
    QTest::newRow("button disabled") << "pbtn_auto" << false << 3 << "#ABABAB";
    // The last rule's 1-pixel border replaces the first rule's 3 pixels.
    QTest::newRow("bar border") << "progressBar" << true << 0 << "#808080";
    QTest::newRow("bar inside its border") << "progressBar" << true << 2 << "#FFFFFF";
}

void TestHomePage::drawnColours()
{
    QFETCH(QString, widget);
    QFETCH(bool, enabled);
    QFETCH(int, y);
    QFETCH(QString, colour);
    HomePage page;
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QWidget* target = page.findChild<QWidget*>(widget);
    target->setEnabled(enabled);
    const QImage shot = target->grab().toImage();
    QCOMPARE(shot.pixelColor(shot.width() / 2, y), QColor(colour));
}

// Built at start-up, a window of its own, modal over the whole application, and
// only reachable through the hidden button's signal.
void TestHomePage::hostsTheAdvancedWindow()
{
    HomePage page;
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    Widget* advanced = page.adv_widget;
    QVERIFY(advanced != nullptr && advanced->parentWidget() == nullptr);
    QCOMPARE(advanced->windowModality(), Qt::ApplicationModal);
    QVERIFY(advanced->testAttribute(Qt::WA_ShowModal));
    QCOMPARE(advanced->styleSheet(), page.styleSheet());
    QVERIFY(!advanced->isVisible());

    emit page.ui->pbtn_advanced->clicked();
    QVERIFY(QTest::qWaitForWindowExposed(advanced));
    QCOMPARE(QApplication::activeModalWidget(), advanced);
    QVERIFY(advanced->close());
    QVERIFY(!advanced->isVisible());
    QVERIFY(QApplication::activeModalWidget() == nullptr);

    page.OnAdvanced();
    QVERIFY(advanced->isVisible());
}

QTEST_MAIN(TestHomePage)
#include "TestHomePage.moc"
