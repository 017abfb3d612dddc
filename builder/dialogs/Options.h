#pragma once

#include "Prompts.h"
#include "builder/build/CatalogueSettings.h"
#include "builder/dialogs/BuildHost.h"

#include <QWidget>
#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QRadioButton;
class QToolButton;
class QPushButton;

namespace vellora {

class ColorButton;
class PublicationDialog;
class UpDown;

// The options dialog "Options Vellora" (Form1): every choice that shapes a catalogue, and the
// button that builds it. It is made once at start, shown modelessly and only hidden, so its
// values last for the whole run and go back to the defaults at the next start.
class TForm1 : public QWidget
{
    Q_OBJECT
public:
    explicit TForm1(BuildHost& host, QWidget* parent = nullptr);
    ~TForm1() override;

    // One copy of every option, as a build reads them when it starts.
    CatalogueSettings settings() const;

    // The publication address and the PDF copy, held by the "Publication" dialog.
    PublicationDialog* publicationDialog() const { return m_publication; }

    // The build writes the page range before it reads it.
    void setStartPageText(const QString& text);
    void setEndPageText(const QString& text);

    BuildHost& host() const { return m_host; }

    // Controls, under the names the rest of the program knows them by.
    QGroupBox* GroupBox1;
    QLabel* Label3;
    QLineEdit* startPage;
    QLabel* Label4;
    QLineEdit* endPage;
    QLabel* Label5;
    ColorButton* colorStart;
    QLabel* Label6;
    ColorButton* colorEnd;
    QLabel* Label1;
    QLineEdit* qualite;
    UpDown* UpDown1;
    QGroupBox* GroupBox3;
    QRadioButton* qualiteHigh;
    QRadioButton* qualitemedium;
    QRadioButton* QualiteLow;
    QGroupBox* GroupBox2;
    QCheckBox* Printcheckbox;
    QLineEdit* HintImprimer;
    QCheckBox* zoomMoinsChecked;
    QLineEdit* HintZoomMoins;
    QCheckBox* zoomPlusCheckbox;
    QLineEdit* hintZoomPlus;
    QCheckBox* FirstPageChecked;
    QLineEdit* HintFirstPage;
    QCheckBox* previousPageChecked;
    QLineEdit* HintPreviousPage;
    QCheckBox* nextPageChecked;
    QLineEdit* HintNextPage;
    QCheckBox* lastPageChecked;
    QLineEdit* HintLastPage;
    QCheckBox* indexChecked;
    QLineEdit* HintIndex;
    QCheckBox* pagesChecked;
    QLineEdit* HintPages;
    QCheckBox* fullScreenChecked;
    QLineEdit* HintFullSCreen;
    QPushButton* Button1;
    // "Publication…", between the quality group and the buttons group: opens the dialog.
    QPushButton* PublicationButton;
    QToolButton* PngSpeedButton1;
    QProgressBar* ProgressBar1;

    // The file-open question of a build from a PDF.
    const FileDialogRequest OpenDialog1{QStringLiteral("Vellora"), QStringLiteral("*.pdf"),
                                        QStringLiteral("pdf"), QString()};

    // The tick box and tooltip box of each viewer button, in configuration order.
    QCheckBox* viewerButtonBox(ViewerButton which) const;
    QLineEdit* viewerButtonHint(ViewerButton which) const;

public Q_SLOTS:
    void FormShow();

    // Each tick box enables its tooltip box while it is ticked.
    void PrintcheckboxClick();
    void zoomMoinsCheckedClick();
    void zoomPlusCheckboxClick();
    void FirstPageCheckedClick();
    void previousPageCheckedClick();
    void nextPageCheckedClick();
    void lastPageCheckedClick();
    void indexCheckedClick();
    void pagesCheckedClick();
    void fullScreenCheckedClick();

    // "Créér prospectus": builds the catalogue.
    void PngSpeedButton1Click();
    // "...": opens the page index editor.
    void Button1Click();
    // "Publication…": shows the publication dialog.
    void PublicationButtonClick();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void makeHeader();
    void makeQualityGroup();
    void makeButtonsGroup();
    void makeBuildButton();
    void widenForCaptions();
    void tieUpDownToQualite();
    void placeBottomControls();

    BuildHost& m_host;
    PublicationDialog* m_publication = nullptr;
    std::array<QCheckBox*, kViewerButtonCount> m_buttonBoxes{};
    std::array<QLineEdit*, kViewerButtonCount> m_buttonHints{};
    int m_extraWidth = 0;
    bool m_centred = false;
};

} // namespace vellora
