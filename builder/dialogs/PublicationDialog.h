#pragma once

#include "builder/build/Publication.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace vellora {

// "Publication" : where the catalogue will be published on the web, and whether its PDF goes
// along for download. Reached from the options dialog; made once, shown modelessly and only
// hidden, so its values last until Vellora quits, like the other options.
class PublicationDialog : public QWidget
{
    Q_OBJECT
public:
    explicit PublicationDialog(QWidget* parent = nullptr);

    // The values as a build reads them; an address that is not valid gives none (the build
    // start refuses it first, see addressProblem).
    Publication publication() const;
    // Why the typed address cannot be used; empty when it is empty or valid.
    QString addressProblem() const;

    QLineEdit* publicationAddress;
    QCheckBox* pdfCopy;
    QPushButton* okButton;

public Q_SLOTS:
    // "OK": an address that is not valid is reported and the dialog stays.
    void okButtonClick();
};

} // namespace vellora
