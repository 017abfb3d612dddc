#include "builder/dialogs/PublicationDialog.h"

#include "ObjectName.h"
#include "Prompts.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vellora {

PublicationDialog::PublicationDialog(QWidget* parent) : QWidget(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("PublicationDialog"));
    setWindowTitle(QStringLiteral("Publication"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Adresse du dossier du catalogue sur le web "
                                            "(facultative) :"),
                             this);
    publicationAddress = named(new QLineEdit(this), "publicationAddress");
    publicationAddress->setPlaceholderText(QStringLiteral("https://exemple.fr/catalogue/"));
    publicationAddress->setToolTip(QStringLiteral(
        "Avec une adresse, le catalogue reçoit les balises de partage (aperçu sur les réseaux "
        "sociaux), les liens canoniques et un plan du site (sitemap.xml)."));
    label->setBuddy(publicationAddress);
    pdfCopy = named(new QCheckBox(QStringLiteral("Joindre le PDF au catalogue (bouton « "
                                                 "Télécharger le PDF »)"),
                                  this),
                    "pdfCopy");
    auto* buttons = new QDialogButtonBox(this);
    okButton = named(buttons->addButton(QDialogButtonBox::Ok), "okButton");
    connect(okButton, &QPushButton::clicked, this, &PublicationDialog::okButtonClick);
    layout->addWidget(label);
    layout->addWidget(publicationAddress);
    layout->addWidget(pdfCopy);
    layout->addWidget(buttons);
    resize(420, sizeHint().height());
}

QString PublicationDialog::addressProblem() const
{
    const QString text = publicationAddress->text().trimmed();
    return text.isEmpty() || vellora::publicationAddress(text) ? QString()
                                                               : invalidAddressMessage(text);
}

Publication PublicationDialog::publication() const
{
    Publication result;
    result.url =
        vellora::publicationAddress(publicationAddress->text().trimmed()).value_or(QString());
    result.pdfCopy = pdfCopy->isChecked();
    return result;
}

void PublicationDialog::okButtonClick()
{
    if (const QString problem = addressProblem(); !problem.isEmpty()) {
        prompts().error(problem);
        return;
    }
    hide();
}

} // namespace vellora
