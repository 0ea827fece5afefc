// The view of the about box.

#include "app/frmAbout.h"
#include "gui/ControlBinding.h"
#include "gui/DialogViews.h"
#include "gui/ModelDialog.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A click on the link label goes to the model's handler.
class LinkClick : public QObject {
public:
    LinkClick(QObject* parent, Label* model)
        : QObject(parent)
        , model_(model) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease)
            model_->click();
        return QObject::eventFilter(watched, event);
    }

private:
    Label* model_;
};

} // namespace

QDialog* makeAboutView(frmAbout& model, QWidget* parent) {
    auto* view = new ModelDialog(model, parent);
    auto* layout = new QHBoxLayout(view);
    auto* icon = new QLabel(view);
    icon->setPixmap(QIcon(QStringLiteral(":/lumivex.svg")).pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);
    layout->addWidget(icon);

    auto* texts = new QVBoxLayout;
    QLabel* title = view->label(model.lblTitle);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    title->setFont(big);
    texts->addWidget(title);
    texts->addWidget(view->label(model.lblDescription));
    texts->addWidget(view->label(model.lblVersion));
    QLabel* notice = view->label(model.lblDisclaimer);
    notice->setWordWrap(true);
    texts->addWidget(notice);
    // The link looks like one; a click goes to the model, which opens the page.
    QLabel* link = view->label(model.lblLink);
    link->setCursor(Qt::PointingHandCursor);
    link->installEventFilter(new LinkClick(link, model.lblLink));
    link->setStyleSheet(QStringLiteral("color: palette(link); text-decoration: underline;"));
    texts->addWidget(link);
    texts->addStretch(1);
    layout->addLayout(texts, 1);

    auto* buttons = new QVBoxLayout;
    QPushButton* ok = view->button(model.cmdOK);
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(view->button(model.cmdSysInfo));
    buttons->addStretch(1);
    layout->addLayout(buttons);
    return view;
}
