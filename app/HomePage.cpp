#include "app/HomePage.h"

#include "app/CloseGuard.h"
#include "app/Pictures.h"
#include "app/UpdateStatusLine.h"
#include "console/Widget.h"
#include "ui_HomePage.h"

#include <QAccessibleWidget>
#include <QEvent>
#include <QPalette>

// The pictures live in this static library; register them before main runs,
// as a linked-in resource file would be.
static int register_pictures()
{
    Q_INIT_RESOURCE(resources);
    return 0;
}
[[maybe_unused]] static const int pictures_registered = register_pictures();

// Keyboard focus made visible: the form's buttons are drawn without a border,
// which leaves no room for the style's focus frame. Appended after the form's
// own rules, which stay as they are; the advanced window takes a copy of the
// whole sheet, so its controls show focus the same way.
static const char focus_rules[] = R"(
QPushButton:focus{
    border: 2px solid #1A237E;
}
QLineEdit:focus, QComboBox:focus{
    border: 2px solid #1A237E;
    border-radius: 3px;
}
)";

HomePage::HomePage(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui_HomePage)
    , close_guard_(new CloseGuard(this))
{
    ui->setupUi(this);
    appendFocusRules();
    describeForScreenReaders();
    setupStatusLine();
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

void HomePage::setupStatusLine()
{
    status_line_ = new UpdateStatusLine(ui->lbl_status);
    // As much room left of the button as the status line takes right of it,
    // so the button stays in the middle of the window.
    QMargins margins = ui->horizontalLayout_5->contentsMargins();
    margins.setLeft(margins.left() + ui->lbl_status->width() + ui->horizontalLayout_5->spacing());
    ui->horizontalLayout_5->setContentsMargins(margins);
}

void HomePage::appendFocusRules()
{
    // Cleared first: a sheet replaced on a window whose children were already
    // styled leaves them with the first sheet's notion of focus, and the frame
    // never shows on the form's own button.
    const QString sheet = styleSheet() + QLatin1String(focus_rules);
    setStyleSheet(QString());
    setStyleSheet(sheet);
}

namespace {

// The two windows are plain widgets, which a screen reader would take for a
// pane inside something else; they are announced as the windows they are,
// named by their titles.
QAccessibleInterface* window_as_frame(const QString& class_name, QObject* object)
{
    if (class_name == QLatin1String("HomePage") || class_name == QLatin1String("Widget")) {
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    }
    return nullptr;
}

} // namespace

// What a screen reader says for the controls that show no text. The status
// line gets no name: left empty, its name is its current text.
void HomePage::describeForScreenReaders()
{
    static const bool frames = [] {
        QAccessible::installFactory(window_as_frame);
        return true;
    }();
    (void)frames;
    ui->lbl_logo->setAccessibleName(QStringLiteral("Tessaro 标志"));
    ui->lbl_product->setAccessibleName(QStringLiteral("Tessaro 硬件钱包"));
    ui->lbl_product->setAccessibleDescription(QStringLiteral("产品图片"));
    ui->progressBar->setAccessibleName(QStringLiteral("升级进度"));
    ui->progressBar->setAccessibleDescription(QStringLiteral("固件写入钱包的进度"));
    ui->pbtn_auto->setAccessibleDescription(QStringLiteral("下载最新固件并写入连接的钱包"));
    ui->lbl_status->setAccessibleDescription(QStringLiteral("升级状态"));
    ui->label->setAccessibleDescription(QStringLiteral("程序版本"));
}

void HomePage::loadPictures()
{
    const qreal ratio = devicePixelRatioF();
    ui->lbl_logo->setPixmap(fitted_picture(QStringLiteral(":/image/logo1.jpg"), QSize(200, 120), ratio));
    ui->lbl_logo->setAlignment(Qt::AlignRight);

    ui->lbl_product->setPixmap(fitted_picture(QStringLiteral(":/image/product.png"), QSize(300, 180), ratio));
    ui->lbl_product->setAlignment(Qt::AlignCenter);
}

bool HomePage::event(QEvent* event)
{
    // Moved to a screen of another density: the pictures are drawn anew for it.
    if (event->type() == QEvent::ScreenChangeInternal) {
        loadPictures();
    }
    return QWidget::event(event);
}
