#include "console/ElidedStatus.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>

namespace {

// Keeps a label's long text elided as the label is laid out and resized.
class Elider : public QObject
{
public:
    explicit Elider(QLabel* label)
        : QObject(label)
        , label_(label)
    {
        label->installEventFilter(this);
    }

    void show(const QString& text)
    {
        full_ = text;
        label_->setToolTip(text);
        label_->setAccessibleDescription(text);
        elide();
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == label_ && !full_.isEmpty()
            && (event->type() == QEvent::Resize || event->type() == QEvent::Paint)) {
            if (label_->text() != shown_) {
                // Someone else's text now: the reason is no longer current.
                full_.clear();
                label_->setToolTip(QString());
                label_->setAccessibleDescription(QString());
            } else {
                elide();
            }
        }
        return false;
    }

private:
    void elide()
    {
        const int width = label_->contentsRect().width() - 2 * label_->margin() - 2 * label_->indent();
        const QString elided = QFontMetrics(label_->font()).elidedText(full_, Qt::ElideRight, qMax(width, 1));
        if (elided != shown_ || label_->text() != elided) {
            shown_ = elided;
            label_->setText(elided);
        }
    }

    QLabel* label_;
    QString full_;
    QString shown_;
};

} // namespace

void show_elided_status(QLabel* label, const QString& text)
{
    auto* elider = label->findChild<Elider*>(QString(), Qt::FindDirectChildrenOnly);
    if (elider == nullptr) {
        elider = new Elider(label);
        // A long text must not widen the label and push the window's layout.
        QSizePolicy policy = label->sizePolicy();
        policy.setHorizontalPolicy(QSizePolicy::Ignored);
        label->setSizePolicy(policy);
    }
    elider->show(text);
}
