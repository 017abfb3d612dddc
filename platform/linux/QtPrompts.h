#pragma once

#include "Prompts.h"

class QWidget;

namespace vellora {

// Real dialogs: QMessageBox with one OK button, QFileDialog, QColorDialog.
class QtPrompts final : public Prompts
{
public:
    void message(const QString& caption, const QString& text) override;
    QString openFileName(const FileDialogRequest& request) override;
    QString saveFileName(const FileDialogRequest& request) override;
    std::optional<QColor> chooseColor(const QColor& initial) override;
};

} // namespace vellora
