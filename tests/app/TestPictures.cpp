#include "app/HomePage.h"
#include "app/Pictures.h"
#include "ui_HomePage.h"

#include <QtTest>
#include <QtWidgets>

namespace {

const QString kLogo = QStringLiteral(":/image/logo1.jpg");
const QString kProduct = QStringLiteral(":/image/product.png");

QSize logical_size(const QPixmap& picture)
{
    return (QSizeF(picture.size()) / picture.devicePixelRatioF()).toSize();
}

} // namespace

// Runs on a screen scaled by 2, as a high-density screen is.
class TestPictures : public QObject
{
    Q_OBJECT
private slots:
    void fitted_data()
    {
        QTest::addColumn<QString>("resource");
        QTest::addColumn<QSize>("bound");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QSize>("pixels");
        QTest::newRow("logo at 1x") << kLogo << QSize(200, 120) << 1.0 << QSize(200, 58);
        QTest::newRow("product at 1x") << kProduct << QSize(300, 180) << 1.0 << QSize(300, 104);
        QTest::newRow("product at 1.5x") << kProduct << QSize(300, 180) << 1.5 << QSize(449, 156);
        QTest::newRow("product at 2x") << kProduct << QSize(300, 180) << 2.0 << QSize(599, 208);
        // The resources hold no more than this.
        QTest::newRow("product at 3x") << kProduct << QSize(300, 180) << 3.0 << QSize(792, 275);
        QTest::newRow("logo at 2x") << kLogo << QSize(200, 120) << 2.0 << QSize(241, 70);
        QTest::newRow("missing picture") << ":/image/none.png" << QSize(300, 180) << 2.0 << QSize();
    }
    // The logical size is the one the window has always shown; only the density
    // grows with the screen's, up to the resource's own.
    void fitted()
    {
        QFETCH(QString, resource);
        QFETCH(QSize, bound);
        QFETCH(qreal, ratio);
        QFETCH(QSize, pixels);
        const QPixmap picture = fitted_picture(resource, bound, ratio);
        if (pixels.isEmpty()) {
            QVERIFY(picture.isNull());
            return;
        }
        QCOMPARE(picture.size(), pixels);
        const QImage fast = QImage(resource).scaled(bound, Qt::KeepAspectRatio, Qt::FastTransformation);
        QCOMPARE(logical_size(picture), fast.size());
        if (ratio == 1.0) {
            QCOMPARE(picture.devicePixelRatioF(), 1.0);
            QCOMPARE(picture.toImage(), fast.convertToFormat(picture.toImage().format()));
        }
    }
    // The window's pictures are as dense as the screen, keep their places, and are
    // drawn anew when the window moves to another screen.
    void windowOnDenseScreen()
    {
        HomePage page;
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QCOMPARE(page.devicePixelRatioF(), 2.0);
        const QPixmap logo = page.ui->lbl_logo->pixmap(Qt::ReturnByValue);
        const QPixmap product = page.ui->lbl_product->pixmap(Qt::ReturnByValue);
        QCOMPARE(logo.size(), QSize(241, 70));
        QCOMPARE(logical_size(logo), QSize(200, 58));
        QCOMPARE(product.size(), QSize(599, 208));
        QCOMPARE(logical_size(product), QSize(300, 104));
        QVERIFY(product.hasAlphaChannel());

        page.ui->lbl_product->clear();
        QEvent moved(QEvent::ScreenChangeInternal);
        QApplication::sendEvent(&page, &moved);
        QCOMPARE(page.ui->lbl_product->pixmap(Qt::ReturnByValue).size(), QSize(599, 208));
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_SCALE_FACTOR", "2");
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication app(argc, argv);
    TestPictures test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestPictures.moc"
