#include "QtPrompts.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace vellora {

namespace {
QWidget* dialogParent()
{
    return QApplication::activeWindow();
}

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

QString runFileDialog(QFileDialog::AcceptMode accept, QFileDialog::FileMode mode,
                      const FileDialogRequest& request)
{
    QFileDialog dialog(dialogParent());
    dialog.setAcceptMode(accept);
    dialog.setFileMode(mode);
    applyRequest(dialog, request);
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
    return runFileDialog(QFileDialog::AcceptOpen, QFileDialog::ExistingFile, request);
}

QString QtPrompts::saveFileName(const FileDialogRequest& request)
{
    return runFileDialog(QFileDialog::AcceptSave, QFileDialog::AnyFile, request);
}

std::optional<QColor> QtPrompts::chooseColor(const QColor& initial)
{
    const QColor chosen = QColorDialog::getColor(initial, dialogParent());
    if (!chosen.isValid())
        return std::nullopt;
    return chosen;
}

} // namespace vellora
