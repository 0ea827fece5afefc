#include "gui/QtHost.h"

#include "model/Form.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

void QtHost::registerDialog(const QString& formName, DialogFactory factory) {
    dialogs_[formName] = std::move(factory);
}

void QtHost::messageBox(const QString& text, const QString& title, MessageIcon icon) {
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
    case MessageIcon::Critical:
        qtIcon = QMessageBox::Critical;
        break;
    case MessageIcon::Exclamation:
        qtIcon = QMessageBox::Warning;
        break;
    case MessageIcon::Information:
        qtIcon = QMessageBox::Information;
        break;
    case MessageIcon::None:
        break;
    }
    QMessageBox box(qtIcon, title.isEmpty() ? QStringLiteral("Lumivex") : title, text,
                    QMessageBox::Ok, parent_);
    box.exec();
}

bool QtHost::question(const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Question, title.isEmpty() ? QStringLiteral("Lumivex") : title,
                    text, QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtHost::inputBox(const QString& prompt, const QString& title,
                                        const QString& defaultText) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent_, title, prompt, QLineEdit::Normal, defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

bool QtHost::showModal(Form& dialog) {
    const auto it = dialogs_.find(dialog.name());
    if (it == dialogs_.end()) {
        dialog.unload();
        return false;
    }
    QDialog* view = it->second(dialog, parent_);
    if (!view) {
        dialog.unload();
        return false;
    }
    QObject::connect(&dialog, &Form::unloaded, view, &QDialog::accept);
    // Closing the window by its frame counts as the dialog's own cancel: the model unloads.
    QObject::connect(view, &QDialog::rejected, &dialog, &Form::unload);
    if (!dialog.isUnloaded())
        view->exec();
    delete view;
    dialog.unload();
    return true;
}

QString QtHost::qtFilter(const QString& classicFilter) {
    const QStringList parts = classicFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        if (!name.contains(QLatin1Char('(')))
            name += QStringLiteral(" (%1)").arg(patterns);
        else
            name = name.left(name.indexOf(QLatin1Char('('))) + QStringLiteral("(%1)").arg(patterns);
        filters << name;
    }
    return filters.join(QStringLiteral(";;"));
}

QString QtHost::fileDialog(const FileDialogRequest& request) {
    QFileDialog dialog(parent_, request.title);
    dialog.setNameFilter(qtFilter(request.filter));
    dialog.setDefaultSuffix(request.defaultExtension);
    const bool open = request.mode == FileDialogRequest::Mode::Open;
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open && request.fileMustExist ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
    if (!open)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void QtHost::beep() {
    QApplication::beep();
}

bool QtHost::openUrl(const QString& url) {
    // Starting the browser may take a moment.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool opened = QDesktopServices::openUrl(QUrl::fromUserInput(url));
    QApplication::restoreOverrideCursor();
    return opened;
}

void QtHost::closeModals() {
    // Each one closed leaves the stack; the bound guards against one that refuses to close.
    for (int i = 0; i < 16; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }
}
