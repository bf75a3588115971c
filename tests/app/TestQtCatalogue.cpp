#include "app/HomePage.h"
#include "app/QtCatalogue.h"
#include "console/Widget.h"
#include "ui_HomePage.h"

#include <QtTest>
#include <QtWidgets>

class TestQtCatalogue : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        // A translator removes itself from the application as it goes.
        qDeleteAll(qApp->findChildren<QTranslator*>());
    }
    void standardButtons_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("ok");
        QTest::addColumn<QString>("cancel");
        QTest::newRow("catalogue installed") << true << QStringLiteral("确定") << QStringLiteral("取消");
        // Without it the program still starts, in Qt's English.
        QTest::newRow("catalogue missing") << false << QStringLiteral("OK") << QStringLiteral("Cancel");
    }
    // Qt's texts turn Chinese whatever the locale; the program's own texts and
    // titles stay exactly as written.
    void standardButtons()
    {
        QFETCH(bool, present);
        QFETCH(QString, ok);
        QFETCH(QString, cancel);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const QString folder = present ? qt_catalogue_folder() : QStringLiteral("/nonexistent");
        QVERIFY2(!present || QFile::exists(folder + QStringLiteral("/qtbase_zh_CN.qm")),
                 "Qt's Chinese catalogue is missing: install qttranslations5-l10n");
        QCOMPARE(install_qt_catalogue(*qApp, folder), present);

        QMessageBox box(QMessageBox::Information, QStringLiteral("提示"), QStringLiteral("更新完成"),
                        QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Ok)->text().remove(QLatin1Char('&')), ok);
        QCOMPARE(box.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&')), cancel);
        QCOMPARE(box.windowTitle(), QStringLiteral("提示"));

        HomePage page;
        QCOMPARE(page.windowTitle(), QStringLiteral("Tessaro硬件钱包软件更新程序"));
        QCOMPARE(page.ui->pbtn_auto->text(), QStringLiteral("自动升级"));
        QCOMPARE(page.ui->pbtn_advanced->text(), QStringLiteral("高级"));
        QCOMPARE(page.ui->label->text(), QStringLiteral("Version 1.1  "));
        QCOMPARE(page.adv_widget->windowTitle(), QStringLiteral("高级"));
        QStringList buttons;
        for (QPushButton* button : page.adv_widget->findChildren<QPushButton*>()) {
            buttons << button->text();
        }
        QCOMPARE(buttons, QStringList({"连接设备", "选择文件", "下载"}));
    }
};

QTEST_MAIN(TestQtCatalogue)
#include "TestQtCatalogue.moc"
