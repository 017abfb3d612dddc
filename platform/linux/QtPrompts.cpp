#include "QtPrompts.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace vellora {

namespace {
QWidget* dialogParent() { return QApplication::activeWindow(); }

void applyRequest(QFileDialog& dialog, const FileDialogRequest& request)
{
    dialog.setWindowTitle(request.title);
    dialog.setNameFilter(request.filter);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.initialPath.isEmpty()) {
        const QFileInfo info(request.initialPath);
        if (info.isDir()) {
            dialog.setDirectory(request.initialPath);
        } else {
            dialog.setDirectory(info.absolutePath());
            dialog.selectFile(info.fileName());
        }
    }
}

QString runFileDialog(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
} // namespace

void QtPrompts::message(const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, dialogParent());
    if (caption == kCaptionError)
        box.setIcon(QMessageBox::Critical);
    else if (caption == kCaptionWarning)
        box.setIcon(QMessageBox::Warning);
    box.exec();
}

QString QtPrompts::openFileName(const FileDialogRequest& request)
{
    QFileDialog dialog(dialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    applyRequest(dialog, request);
    return runFileDialog(dialog);
}

QString QtPrompts::saveFileName(const FileDialogRequest& request)
{
    QFileDialog dialog(dialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    applyRequest(dialog, request);
    return runFileDialog(dialog);
}

std::optional<QColor> QtPrompts::chooseColor(const QColor& initial)
{
    const QColor chosen = QColorDialog::getColor(initial, dialogParent());
    if (!chosen.isValid())
        return std::nullopt;
    return chosen;
}

} // namespace vellora
