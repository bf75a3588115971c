#include "app/HomePage.h"
#include "console/Widget.h"
#include "ui_HomePage.h"

#include <QtTest>

class TestHomePage : public QObject
{
    Q_OBJECT
private slots:
    void windowAndTexts();
    void pictures();
    void styleSheetRuleOrder();
    void disabledButtonIsGrey();
    void hostsTheAdvancedWindow();
};

void TestHomePage::windowAndTexts()
{
    HomePage page;
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QCOMPARE(page.size(), QSize(650, 400));
    QCOMPARE(page.minimumSize(), QSize(650, 400));
    page.resize(300, 200);
    QCOMPARE(page.size(), QSize(650, 400));
    QCOMPARE(page.windowTitle(), QStringLiteral("Tessaro硬件钱包软件更新程序"));
    QCOMPARE(page.ui->pbtn_auto->text(), QStringLiteral("自动升级"));
    QVERIFY(page.ui->pbtn_auto->isEnabled());
    QCOMPARE(page.ui->pbtn_advanced->text(), QStringLiteral("高级"));
    QVERIFY(!page.ui->pbtn_advanced->isVisible());
    QVERIFY(!page.ui->pbtn_advanced->isEnabled());
    QCOMPARE(page.ui->label->text(), QStringLiteral("Version 1.1  "));
    QCOMPARE(page.ui->label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight | Qt::AlignTrailing);
    QCOMPARE(page.ui->lbl_status->text(), QString());
    QCOMPARE(page.ui->progressBar->value(), 0);
    QCOMPARE(page.ui->progressBar->maximum(), 100);
    QCOMPARE(page.palette().color(QPalette::Inactive, QPalette::Window), QColor("#FAFAFA"));
    QVERIFY(page.autoFillBackground());
}

void TestHomePage::pictures()
{
    HomePage page;
    const QPixmap logo = page.ui->lbl_logo->pixmap(Qt::ReturnByValue);
    QCOMPARE(logo.size(), QSize(200, 58)); // 241 x 70 kept in proportion
    QCOMPARE(page.ui->lbl_logo->alignment(), Qt::AlignRight);
    const QPixmap product = page.ui->lbl_product->pixmap(Qt::ReturnByValue);
    QCOMPARE(product.size(), QSize(300, 104));
    QVERIFY(product.hasAlphaChannel());
    QCOMPARE(page.ui->lbl_product->alignment(), Qt::AlignCenter);
    QCOMPARE(QImage(":/image/logo1.jpg").size(), QSize(241, 70));
    QCOMPARE(QImage(":/image/product.png").size(), QSize(792, 275));
}

// The last QProgressBar rule replaces the first rule's 3-pixel border.
void TestHomePage::styleSheetRuleOrder()
{
    HomePage page;
    const QString sheet = page.styleSheet();
    const int first = sheet.indexOf("border: 3px solid grey;");
    const int last = sheet.lastIndexOf("border: 1px solid grey;");
    QVERIFY(first >= 0 && last > first);
    QVERIFY(sheet.indexOf("QPushButton:disabled") < sheet.indexOf("QProgressBar"));
}

void TestHomePage::disabledButtonIsGrey()
{
    HomePage page;
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    page.ui->pbtn_auto->setEnabled(false);
    const QImage shot = page.ui->pbtn_auto->grab().toImage();
    QCOMPARE(shot.pixelColor(shot.width() / 2, 3), QColor("#ABABAB"));
    page.ui->pbtn_auto->setEnabled(true);
    const QImage live = page.ui->pbtn_auto->grab().toImage();
    QCOMPARE(live.pixelColor(live.width() / 2, 3), QColor("#768BFE"));
}

// Built at start-up, a window of its own, modal over the whole application, and
// only reachable through the hidden button's signal.
void TestHomePage::hostsTheAdvancedWindow()
{
    HomePage page;
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    Widget* advanced = page.adv_widget;
    QVERIFY(advanced != nullptr);
    QVERIFY(advanced->parentWidget() == nullptr);
    QVERIFY(advanced->isWindow());
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
    QCOMPARE(page.adv_widget, advanced);
}

QTEST_MAIN(TestHomePage)
#include "TestHomePage.moc"
