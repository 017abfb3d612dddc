#include "builder/dialogs/Options.h"

#include "ObjectName.h"
#include "WindowPlacement.h"
#include "builder/dialogs/CatalogueBuilder.h"
#include "builder/dialogs/ColorButton.h"
#include "builder/dialogs/Index.h"
#include "builder/dialogs/PublicationDialog.h"
#include "builder/dialogs/UpDown.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace vellora {

namespace {
// Positions are those of the dialog at 96 dots per inch.
constexpr int kClientWidth = 386;
constexpr int kClientHeight = 624;
constexpr int kProgressHeight = 11;
constexpr int kEditHeight = 21;

QLabel* label(QWidget* parent, const char* name, const QString& text, int left, int top)
{
    auto* result = named(new QLabel(text, parent), name);
    result->move(left, top);
    result->adjustSize();
    return result;
}

QLineEdit* edit(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* result = named(new QLineEdit(text, parent), name);
    result->setGeometry(geometry);
    return result;
}

struct ViewerButtonRow
{
    const char* box;
    const char* caption;
    const char* hint;
    int hintWidth;
};

// Captions and names of the ten viewer buttons' rows, in configuration order.
const std::array<ViewerButtonRow, kViewerButtonCount> kRows = {{
    {"Printcheckbox", "Afficher bouton IMPRIMER", "HintImprimer", 137},
    {"zoomMoinsChecked", "Afficher bouton Zoom-", "HintZoomMoins", 137},
    {"zoomPlusCheckbox", "Afficher bouton Zoom+", "hintZoomPlus", 137},
    {"FirstPageChecked", "Afficher bouton premiè. page", "HintFirstPage", 137},
    {"previousPageChecked", "Afficher bouton page précédente", "HintPreviousPage", 137},
    {"nextPageChecked", "Afficher bouton page suivante", "HintNextPage", 137},
    {"lastPageChecked", "Afficher bouton dernière page", "HintLastPage", 137},
    {"indexChecked", "Afficher bouton index", "HintIndex", 105},
    {"pagesChecked", "Afficher bouton pages", "HintPages", 137},
    {"fullScreenChecked", "Afficher bouton fullScreen", "HintFullSCreen", 137},
}};
} // namespace

TForm1::TForm1(BuildHost& host, QWidget* parent) : QWidget(parent, Qt::Tool), m_host(host)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Options Vellora"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    resize(kClientWidth, kClientHeight);

    GroupBox1 = named(new QGroupBox(QStringLiteral("Options prospectus"), this), "GroupBox1");
    makeHeader();
    makeQualityGroup();
    makeButtonsGroup();
    makeBuildButton();
    // In the free band between the quality group and the buttons group.
    PublicationButton =
        named(new QPushButton(QStringLiteral("Publication…"), GroupBox1), "PublicationButton");
    PublicationButton->setGeometry(24, 246, 120, 22);
    PublicationButton->setToolTip(
        QStringLiteral("Adresse de publication et copie du PDF dans le catalogue"));
    connect(PublicationButton, &QPushButton::clicked, this, &TForm1::PublicationButtonClick);
    m_publication = new PublicationDialog(this);

    ProgressBar1 = named(new QProgressBar(this), "ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    resize(kClientWidth + m_extraWidth, kClientHeight);
    placeBottomControls();
}

TForm1::~TForm1() = default;

void TForm1::makeHeader()
{
    QWidget* box = GroupBox1;
    Label3 = label(box, "Label3", QStringLiteral("page début"), 24, 32);
    startPage = edit(box, "startPage", QStringLiteral("1"), {24, 48, 49, kEditHeight});
    Label4 = label(box, "Label4", QStringLiteral("Page fin"), 96, 32);
    endPage = edit(box, "endPage", QStringLiteral("1"), {96, 48, 49, kEditHeight});
    Label5 = label(box, "Label5", QStringLiteral("Couleur fond début"), 160, 32);
    colorStart = named(new ColorButton(0xFFFFFF, box), "colorStart");
    colorStart->setGeometry(160, 48, 89, 25);
    Label6 = label(box, "Label6", QStringLiteral("Couleur fond fin"), 272, 32);
    colorEnd = named(new ColorButton(0xC0C0C0, box), "colorEnd");
    colorEnd->setGeometry(272, 48, 89, 25);

    Label1 = label(box, "Label1", QStringLiteral("Qualité images JPEG (%)"), 24, 88);
    qualite = edit(box, "qualite", QStringLiteral("70"), {160, 80, 65, kEditHeight});
    qualite->setToolTip(
        QStringLiteral("Choisissez la qualité des images JPEG qio sont intégrés dans Vellora"));
    UpDown1 = named(new UpDown(10, 100, 70, box), "UpDown1");
    UpDown1->setGeometry(233, 80, 17, 21);
    tieUpDownToQualite();
}

// The spin arrows step the quality box, and a quality typed within their range moves them,
// so both always agree. The build reads the box's text only.
void TForm1::tieUpDownToQualite()
{
    connect(UpDown1, &UpDown::positionChanged, qualite,
            [this](int position) { qualite->setText(QString::number(position)); });
    connect(qualite, &QLineEdit::textEdited, UpDown1, [this](const QString& text) {
        bool ok = false;
        const int value = text.trimmed().toInt(&ok);
        if (ok && value >= UpDown1->minimum() && value <= UpDown1->maximum()) {
            const QSignalBlocker blocker(UpDown1);
            UpDown1->setPosition(value);
        }
    });
}

void TForm1::makeQualityGroup()
{
    GroupBox3 = named(new QGroupBox(QStringLiteral("Qualité catalogue"), GroupBox1), "GroupBox3");
    GroupBox3->setGeometry(24, 120, 345, 121);
    auto radio = [this](const char* name, const QString& caption, int top) {
        auto* button = named(new QRadioButton(caption, GroupBox3), name);
        button->setGeometry(16, top, 321, 17);
        return button;
    };
    qualiteHigh = radio("qualiteHigh",
                        QStringLiteral("Haute qualité (tout vectoriel, peut s'avérer lent)"), 24);
    qualitemedium = radio("qualitemedium",
                          QStringLiteral("Qualité médiane (texte vectorielles, images JPEG)"), 56);
    QualiteLow = radio("QualiteLow", QStringLiteral("Qualité basse (tout en images JPEG)"), 88);
    qualitemedium->setChecked(true);
}

void TForm1::makeButtonsGroup()
{
    GroupBox2 = named(new QGroupBox(QStringLiteral("Options"), GroupBox1), "GroupBox2");
    for (int i = 0; i < kViewerButtonCount; ++i) {
        const ViewerButtonRow& row = kRows[std::size_t(i)];
        const int top = 16 + 24 * i;
        auto* box = named(new QCheckBox(QString::fromUtf8(row.caption), GroupBox2), row.box);
        box->setGeometry(24, top, 157, 17);
        box->setChecked(true);
        auto* hint =
            edit(GroupBox2, row.hint, CatalogueSettings::defaultButtons()[std::size_t(i)].alt,
                 {184, top - 2, row.hintWidth, kEditHeight});
        m_buttonBoxes[std::size_t(i)] = box;
        m_buttonHints[std::size_t(i)] = hint;
    }
    Printcheckbox = m_buttonBoxes[0], HintImprimer = m_buttonHints[0];
    zoomMoinsChecked = m_buttonBoxes[1], HintZoomMoins = m_buttonHints[1];
    zoomPlusCheckbox = m_buttonBoxes[2], hintZoomPlus = m_buttonHints[2];
    FirstPageChecked = m_buttonBoxes[3], HintFirstPage = m_buttonHints[3];
    previousPageChecked = m_buttonBoxes[4], HintPreviousPage = m_buttonHints[4];
    nextPageChecked = m_buttonBoxes[5], HintNextPage = m_buttonHints[5];
    lastPageChecked = m_buttonBoxes[6], HintLastPage = m_buttonHints[6];
    indexChecked = m_buttonBoxes[7], HintIndex = m_buttonHints[7];
    pagesChecked = m_buttonBoxes[8], HintPages = m_buttonHints[8];
    fullScreenChecked = m_buttonBoxes[9], HintFullSCreen = m_buttonHints[9];

    connect(Printcheckbox, &QCheckBox::toggled, this, &TForm1::PrintcheckboxClick);
    connect(zoomMoinsChecked, &QCheckBox::toggled, this, &TForm1::zoomMoinsCheckedClick);
    connect(zoomPlusCheckbox, &QCheckBox::toggled, this, &TForm1::zoomPlusCheckboxClick);
    connect(FirstPageChecked, &QCheckBox::toggled, this, &TForm1::FirstPageCheckedClick);
    connect(previousPageChecked, &QCheckBox::toggled, this, &TForm1::previousPageCheckedClick);
    connect(nextPageChecked, &QCheckBox::toggled, this, &TForm1::nextPageCheckedClick);
    connect(lastPageChecked, &QCheckBox::toggled, this, &TForm1::lastPageCheckedClick);
    connect(indexChecked, &QCheckBox::toggled, this, &TForm1::indexCheckedClick);
    connect(pagesChecked, &QCheckBox::toggled, this, &TForm1::pagesCheckedClick);
    connect(fullScreenChecked, &QCheckBox::toggled, this, &TForm1::fullScreenCheckedClick);

    Button1 = named(new QPushButton(QStringLiteral("..."), GroupBox2), "Button1");
    Button1->setGeometry(296, 176, 22, 22);
    widenForCaptions();
    Button1->setToolTip(QStringLiteral("créer index"));
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
}

// With a system font wider than the one the dialog was laid out for, the tick boxes' captions
// push the tooltip boxes to the right, and the dialog grows, rather than being cut off.
void TForm1::widenForCaptions()
{
    int widest = 0;
    for (QCheckBox* box : m_buttonBoxes)
        widest = qMax(widest, box->sizeHint().width());
    m_extraWidth = qMax(0, 24 + widest + 3 - 184);
    if (m_extraWidth == 0)
        return;
    for (QCheckBox* box : m_buttonBoxes)
        box->resize(box->width() + m_extraWidth, box->height());
    for (QLineEdit* hint : m_buttonHints)
        hint->move(hint->x() + m_extraWidth, hint->y());
    Button1->move(Button1->x() + m_extraWidth, Button1->y());
    GroupBox3->resize(GroupBox3->width() + m_extraWidth, GroupBox3->height());
}

void TForm1::makeBuildButton()
{
    PngSpeedButton1 = named(new QToolButton(GroupBox1), "PngSpeedButton1");
    PngSpeedButton1->setText(QStringLiteral("Créér prospectus"));
    PngSpeedButton1->setAutoRaise(true);
    PngSpeedButton1->setIcon(QIcon(QStringLiteral(":/icons/build.svg")));
    PngSpeedButton1->setIconSize(QSize(32, 32));
    PngSpeedButton1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QFont bold(QStringLiteral("Tahoma"), 8, QFont::Bold);
    PngSpeedButton1->setFont(bold);
    PngSpeedButton1->setCursor(Qt::PointingHandCursor);
    connect(PngSpeedButton1, &QToolButton::clicked, this, &TForm1::PngSpeedButton1Click);
}

// The group box fills the window above the progress bar; the build button keeps its distance
// from the bottom edge and the buttons group grows with it.
void TForm1::placeBottomControls()
{
    const int boxHeight = height() - kProgressHeight;
    GroupBox1->setGeometry(0, 0, width(), boxHeight);
    const int bottomGap = kClientHeight - kProgressHeight - (536 + 65);
    const int buttonTop = boxHeight - bottomGap - 65;
    PngSpeedButton1->setGeometry(24, buttonTop, 345 + m_extraWidth, 65);
    GroupBox2->setGeometry(24, 272, 345 + m_extraWidth, qMax(263, buttonTop - 1 - 272));
    ProgressBar1->setGeometry(0, boxHeight, width(), kProgressHeight);
}

QCheckBox* TForm1::viewerButtonBox(ViewerButton which) const
{
    return m_buttonBoxes[std::size_t(which)];
}

QLineEdit* TForm1::viewerButtonHint(ViewerButton which) const
{
    return m_buttonHints[std::size_t(which)];
}

CatalogueSettings TForm1::settings() const
{
    CatalogueSettings result;
    result.startPage = startPage->text();
    result.endPage = endPage->text();
    result.colorStart = colorStart->value();
    result.colorEnd = colorEnd->value();
    result.qualite = qualite->text();
    if (qualiteHigh->isChecked())
        result.preset = QualityPreset::High;
    else if (QualiteLow->isChecked())
        result.preset = QualityPreset::Low;
    else
        result.preset = QualityPreset::Medium;
    for (std::size_t i = 0; i < result.buttons.size(); ++i)
        result.buttons[i] = {m_buttonBoxes[i]->isChecked(), m_buttonHints[i]->text()};
    return result;
}

void TForm1::setStartPageText(const QString& text)
{
    startPage->setText(text);
}
void TForm1::setEndPageText(const QString& text)
{
    endPage->setText(text);
}

void TForm1::FormShow()
{
    ProgressBar1->setValue(0);
}

void TForm1::PrintcheckboxClick()
{
    HintImprimer->setEnabled(Printcheckbox->isChecked());
}
void TForm1::zoomMoinsCheckedClick()
{
    HintZoomMoins->setEnabled(zoomMoinsChecked->isChecked());
}
void TForm1::zoomPlusCheckboxClick()
{
    hintZoomPlus->setEnabled(zoomPlusCheckbox->isChecked());
}
void TForm1::FirstPageCheckedClick()
{
    HintFirstPage->setEnabled(FirstPageChecked->isChecked());
}
void TForm1::previousPageCheckedClick()
{
    HintPreviousPage->setEnabled(previousPageChecked->isChecked());
}
void TForm1::nextPageCheckedClick()
{
    HintNextPage->setEnabled(nextPageChecked->isChecked());
}
void TForm1::lastPageCheckedClick()
{
    HintLastPage->setEnabled(lastPageChecked->isChecked());
}
void TForm1::indexCheckedClick()
{
    HintIndex->setEnabled(indexChecked->isChecked());
}
void TForm1::pagesCheckedClick()
{
    HintPages->setEnabled(pagesChecked->isChecked());
}
// Like the other nine: a hidden button's tooltip box is greyed out.
void TForm1::fullScreenCheckedClick()
{
    HintFullSCreen->setEnabled(fullScreenChecked->isChecked());
}

void TForm1::PngSpeedButton1Click()
{
    CatalogueBuilder::of(*this).PngSpeedButton1Click();
}

void TForm1::Button1Click()
{
    if (TindexForm* form = indexForm()) {
        form->show();
        form->raise();
        form->activateWindow();
    }
}

void TForm1::PublicationButtonClick()
{
    m_publication->show();
    m_publication->raise();
    m_publication->activateWindow();
}

void TForm1::showEvent(QShowEvent* event)
{
    if (!m_centred) {
        m_centred = true;
        centreOnScreen(this);
    }
    QWidget::showEvent(event);
    FormShow();
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeBottomControls();
}

} // namespace vellora
