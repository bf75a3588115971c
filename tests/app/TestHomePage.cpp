#include "app/HomePage.h"
#include "console/Widget.h"
#include "ui_HomePage.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// Every object a screen reader would reach in `window`, depth first.
QList<QAccessibleInterface*> accessible_tree(QWidget* window)
{
    QList<QAccessibleInterface*> found {QAccessible::queryAccessibleInterface(window)};
    for (int i = 0; i < found.size(); ++i) {
        for (int c = 0; c < found[i]->childCount(); ++c) {
            if (QAccessibleInterface* child = found[i]->child(c)) {
                found << child;
            }
        }
    }
    return found;
}

} // namespace

class TestHomePage : public QObject
{
    Q_OBJECT
private slots:
    // What the user meets: a window of fixed size and the one button; its
    // texts are TestQtCatalogue's, its pictures TestPictures'. The advanced
    // window, built at start-up, a window of its own, modal over the whole
    // application, is only reachable through the hidden button's signal.
    void windowAndAdvancedWindow()
    {
        HomePage page;
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        page.resize(300, 200);
        QCOMPARE(page.size(), QSize(650, 400));
        QVERIFY(page.ui->pbtn_auto->isEnabled());
        QVERIFY(!page.ui->pbtn_advanced->isVisible() && !page.ui->pbtn_advanced->isEnabled());
        // The status line beside it leaves the button in the middle.
        QVERIFY(qAbs(page.ui->pbtn_auto->geometry().center().x() - page.width() / 2) <= 1);
        QVERIFY(page.ui->lbl_status->width() > 0);

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
    void drawnColours_data()
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
    void drawnColours()
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
    void focusIsDrawn_data()
    {
        QTest::addColumn<bool>("advanced");
        QTest::addColumn<QString>("className");
        QTest::addColumn<int>("index"); // among the window's widgets of that class
        QTest::newRow("自动升级") << false << "QPushButton" << 0;
        QTest::newRow("连接设备") << true << "QPushButton" << 0;
        QTest::newRow("下载") << true << "QPushButton" << 2;
        QTest::newRow("device picker") << true << "MyComboBox" << 0;
        QTest::newRow("file field") << true << "QLineEdit" << 1; // the picker's own field comes first
    }
    // The control with the keyboard focus has a frame drawn round it, and moves no
    // other control; the form's rules come first, unchanged.
    void focusIsDrawn()
    {
        QFETCH(bool, advanced);
        QFETCH(QString, className);
        QFETCH(int, index);
        HomePage page;
        QWidget form;
        Ui_HomePage().setupUi(&form);
        QVERIFY(page.styleSheet().startsWith(form.styleSheet()));
        QVERIFY(page.styleSheet().size() > form.styleSheet().size());

        QWidget* window = advanced ? static_cast<QWidget*>(page.adv_widget) : &page;
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QList<QWidget*> candidates;
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (w->inherits(qPrintable(className))) {
                candidates << w;
            }
        }
        QWidget* target = candidates.value(index);
        QVERIFY(target != nullptr);
        window->setFocus();
        QApplication::processEvents();
        const QRect before = target->geometry();
        const QColor unfocused = target->grab().toImage().pixelColor(target->width() / 2, 0);
        target->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        QVERIFY(target->hasFocus());
        const QColor focused = target->grab().toImage().pixelColor(target->width() / 2, 0);
        QCOMPARE(focused, QColor("#1A237E"));
        QVERIFY(unfocused != focused);
        QCOMPARE(target->geometry(), before);
    }
    // A screen reader finds a name on everything shown, the windows named by their
    // titles and the status lines by their current text.
    void screenReaderNames()
    {
        HomePage page;
        page.show();
        page.adv_widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(page.adv_widget));
        QLabel* advanced_status = page.adv_widget->findChild<QLabel*>();
        page.adv_widget->OnDownloadFinished(true);
        for (QWidget* window : {static_cast<QWidget*>(&page), static_cast<QWidget*>(page.adv_widget)}) {
            const QList<QAccessibleInterface*> tree = accessible_tree(window);
            QCOMPARE(tree.first()->text(QAccessible::Name), window->windowTitle());
            QCOMPARE(tree.first()->role(), QAccessible::Window);
            QStringList nameless;
            int shown = 0;
            for (QAccessibleInterface* item : tree) {
                if (item->state().invisible) {
                    continue;
                }
                ++shown;
                const QString name = item->text(QAccessible::Name);
                auto* label = qobject_cast<QLabel*>(item->object());
                if (label != nullptr && label->pixmap(Qt::ReturnByValue).isNull()) {
                    QCOMPARE(name, label->text());
                } else if (name.trimmed().isEmpty()) {
                    nameless << item->object()->metaObject()->className() + QLatin1Char(' ')
                            + item->object()->objectName();
                }
            }
            QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(QStringLiteral(", "))));
            QVERIFY(shown >= 7);
        }
        QCOMPARE(QAccessible::queryAccessibleInterface(advanced_status)->text(QAccessible::Name),
                 QStringLiteral("下载成功"));
        QCOMPARE(QAccessible::queryAccessibleInterface(page.ui->lbl_product)->role(), QAccessible::Graphic);
    }
};

QTEST_MAIN(TestHomePage)
#include "TestHomePage.moc"
