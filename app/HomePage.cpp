#include "app/HomePage.h"

#include "app/CloseGuard.h"
#include "console/Widget.h"
#include "ui_HomePage.h"

#include <QImage>
#include <QPalette>

// The pictures live in this static library; register them before main runs,
// as a linked-in resource file would be.
static int register_pictures()
{
    Q_INIT_RESOURCE(resources);
    return 0;
}
[[maybe_unused]] static const int pictures_registered = register_pictures();

HomePage::HomePage(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui_HomePage)
    , close_guard_(new CloseGuard(this))
{
    ui->setupUi(this);
    setupAdvancedWindow();
    loadPictures();
    ui->pbtn_advanced->hide();

    QPalette background = palette();
    background.setBrush(QPalette::All, QPalette::Window, QBrush(QColor(QStringLiteral("#FAFAFA"))));
    setAutoFillBackground(true);
    setPalette(background);
    setMinimumSize(650, 400);

    connect(ui->pbtn_advanced, &QPushButton::clicked, this, &HomePage::OnAdvanced);
    connect(ui->pbtn_auto, &QPushButton::clicked, this, &HomePage::OnAuto);
}

// The advanced window has no parent, so it goes with the main window: there is
// one main window per process, and nothing is left for the leak checker.
HomePage::~HomePage()
{
    delete adv_widget;
    delete ui;
}

void HomePage::loadPictures()
{
    QImage image(QStringLiteral(":/image/logo1.jpg"));
    ui->lbl_logo->setPixmap(QPixmap::fromImage(image.scaled(200, 120, Qt::KeepAspectRatio, Qt::FastTransformation)));
    ui->lbl_logo->setAlignment(Qt::AlignRight);

    image.load(QStringLiteral(":/image/product.png"));
    ui->lbl_product->setPixmap(QPixmap::fromImage(image.scaled(300, 180, Qt::KeepAspectRatio, Qt::FastTransformation)));
    ui->lbl_product->setAlignment(Qt::AlignCenter);
}
