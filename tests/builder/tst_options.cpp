// The options dialog: its defaults, its tick boxes, its colours and the snapshot a build reads.
#include "FakePrompts.h"
#include "TestSupport.h"
#include "builder/dialogs/BuildHost.h"
#include "builder/dialogs/CatalogueBuilder.h"
#include "builder/dialogs/ColorButton.h"
#include "builder/dialogs/Options.h"
#include "builder/dialogs/PublicationDialog.h"
#include "builder/dialogs/UpDown.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QToolButton>

using namespace vellora;

namespace {
class StandInHost final : public BuildHost
{
public:
    bool pdfMode() const override { return false; }
    void setMemoText(const QString& text) override { memo = text; }
    QString memoText() const override { return memo; }
    void appendMemoLine(const QString& line) override { memo += line + u'\n'; }
    FileDialogRequest saveDialogRequest() const override { return {}; }
    void hideMainWindow() override {}
    QString memo;
};

QString textOf(QWidget* widget)
{
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* box = qobject_cast<QGroupBox*>(widget))
        return box->title();
    return {};
}
} // namespace

class OptionsTest : public QObject
{
    Q_OBJECT
private:
    StandInHost m_host;
    FakePrompts m_prompts;

private Q_SLOTS:
    void init() { setPrompts(&m_prompts), m_prompts.clear(); }

    void controlTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("toolTip");
        const auto row = [](const char* name, const char* text, const char* tip = "") {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(text)
                                << QString::fromUtf8(tip);
        };
        row("GroupBox1", "Options prospectus");
        row("Label3", "page début");
        row("startPage", "1");
        row("Label4", "Page fin");
        row("endPage", "1");
        row("Label5", "Couleur fond début");
        row("Label6", "Couleur fond fin");
        row("Label1", "Qualité images JPEG (%)");
        row("qualite", "70",
            "Choisissez la qualité des images JPEG qio sont intégrés dans Vellora");
        row("GroupBox3", "Qualité catalogue");
        row("qualiteHigh", "Haute qualité (tout vectoriel, peut s'avérer lent)");
        row("qualitemedium", "Qualité médiane (texte vectorielles, images JPEG)");
        row("QualiteLow", "Qualité basse (tout en images JPEG)");
        row("GroupBox2", "Options");
        row("Printcheckbox", "Afficher bouton IMPRIMER");
        row("HintImprimer", "Imprimer page");
        row("zoomMoinsChecked", "Afficher bouton Zoom-");
        row("HintZoomMoins", "Zoom -");
        row("zoomPlusCheckbox", "Afficher bouton Zoom+");
        row("hintZoomPlus", "Zoom +");
        row("FirstPageChecked", "Afficher bouton premiè. page");
        row("HintFirstPage", "Aller à la première page");
        row("previousPageChecked", "Afficher bouton page précédente");
        row("HintPreviousPage", "Aller à la page précédente");
        row("nextPageChecked", "Afficher bouton page suivante");
        row("HintNextPage", "Aller à la page suivante");
        row("lastPageChecked", "Afficher bouton dernière page");
        row("HintLastPage", "Aller à la dernière page");
        row("indexChecked", "Afficher bouton index");
        row("HintIndex", "Afficher l'index");
        row("pagesChecked", "Afficher bouton pages");
        row("HintPages", "Afficher les pages");
        row("fullScreenChecked", "Afficher bouton fullScreen");
        row("HintFullSCreen", "Full screen Mode");
        row("Button1", "...", "créer index");
        row("PngSpeedButton1", "Créér prospectus");
    }

    void controlTexts()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, toolTip);
        TForm1 form(m_host);
        QCOMPARE(form.windowTitle(), QStringLiteral("Options Vellora"));
        auto* widget = form.findChild<QWidget*>(name);
        QVERIFY2(widget, qPrintable(name));
        QCOMPARE(textOf(widget), text);
        QCOMPARE(widget->toolTip(), toolTip);
        QVERIFY(widget->isEnabled());
    }

    void defaultsMakeTheDefaultSettings()
    {
        TForm1 form(m_host);
        QCOMPARE(form.settings(), CatalogueSettings{});
        const CatalogueSettings settings = form.settings();
        QCOMPARE(settings.preset, QualityPreset::Medium);
        QCOMPARE(settings.colorStart, BgrColor(0xFFFFFF));
        QCOMPARE(settings.colorEnd, BgrColor(0xC0C0C0));
        QCOMPARE(settings.qualite, QStringLiteral("70"));
        for (const ViewerButtonSetting& button : settings.buttons)
            QVERIFY(button.visible);
        QVERIFY(form.qualitemedium->isChecked());
        QVERIFY(!form.qualiteHigh->isChecked() && !form.QualiteLow->isChecked());
        QCOMPARE(form.UpDown1->minimum(), 10);
        QCOMPARE(form.UpDown1->maximum(), 100);
        QCOMPARE(form.UpDown1->position(), 70);
        QCOMPARE(form.ProgressBar1->minimum(), 0);
        QCOMPARE(form.ProgressBar1->maximum(), 100);
        QCOMPARE(form.colorStart->focusPolicy(), Qt::NoFocus);
        QCOMPARE(form.OpenDialog1.filter, QStringLiteral("*.pdf"));
    }

    void presetFollowsTheRadioButtons_data()
    {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<QualityPreset>("preset");
        QTest::newRow("high") << "qualiteHigh" << QualityPreset::High;
        QTest::newRow("medium") << "qualitemedium" << QualityPreset::Medium;
        QTest::newRow("low") << "QualiteLow" << QualityPreset::Low;
    }

    void presetFollowsTheRadioButtons()
    {
        QFETCH(QString, radio);
        QFETCH(QualityPreset, preset);
        TForm1 form(m_host);
        form.show();
        QTest::mouseClick(form.findChild<QRadioButton*>(radio), Qt::LeftButton);
        QCOMPARE(form.settings().preset, preset);
    }

    void tickBoxEnablesItsTooltipBox_data()
    {
        QTest::addColumn<int>("button");
        for (int i = 0; i < kViewerButtonCount; ++i)
            QTest::newRow(qPrintable(viewerButtonElement(ViewerButton(i)))) << i;
    }

    void tickBoxEnablesItsTooltipBox()
    {
        QFETCH(int, button);
        const auto which = ViewerButton(button);
        TForm1 form(m_host);
        form.show();
        QCheckBox* box = form.viewerButtonBox(which);
        QLineEdit* hint = form.viewerButtonHint(which);

        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
        QVERIFY(!box->isChecked());
        QVERIFY(!hint->isEnabled());
        const CatalogueSettings unticked = form.settings();
        QCOMPARE(unticked.button(which).visible, false);
        QCOMPARE(unticked.button(which).alt, CatalogueSettings::defaultButtons()[button].alt);
        for (int other = 0; other < kViewerButtonCount; ++other) {
            if (other != button) {
                QVERIFY(form.viewerButtonHint(ViewerButton(other))->isEnabled());
                QVERIFY(unticked.buttons[other].visible);
            }
        }

        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
        QVERIFY(hint->isEnabled());
        QCOMPARE(form.settings(), CatalogueSettings{});
    }

    void editedTooltipIsTheAltText()
    {
        TForm1 form(m_host);
        form.HintPages->setText(QStringLiteral("Pages <&\"'>"));
        form.pagesChecked->setChecked(false);
        QCOMPARE(form.settings().button(ViewerButton::Pages),
                 (ViewerButtonSetting{false, QStringLiteral("Pages <&\"'>")}));
    }

    void colorRoundTrip_data()
    {
        QTest::addColumn<QColor>("chosen");
        QTest::addColumn<uint>("stored");
        QTest::newRow("red") << QColor(255, 0, 0) << 0x0000FFu;
        QTest::newRow("green") << QColor(0, 255, 0) << 0x00FF00u;
        QTest::newRow("blue") << QColor(0, 0, 255) << 0xFF0000u;
        QTest::newRow("mixed") << QColor(0x12, 0x34, 0x56) << 0x563412u;
        QTest::newRow("black") << QColor(0, 0, 0) << 0x000000u;
        QTest::newRow("white") << QColor(255, 255, 255) << 0xFFFFFFu;
        QTest::newRow("hsv") << QColor::fromHsv(200, 128, 200)
                             << toBgr(QColor::fromHsv(200, 128, 200));
    }

    // "&Other..." asks for any colour; the catalogue keeps it as 0x00BBGGRR.
    void colorRoundTrip()
    {
        QFETCH(QColor, chosen);
        QFETCH(uint, stored);
        TForm1 form(m_host);
        form.show();
        m_prompts.answerColor(chosen);
        m_prompts.answerColor(chosen);
        for (ColorButton* button : {form.colorStart, form.colorEnd}) {
            QAction* other = button->palette()->findChild<QAction*>(QStringLiteral("other"));
            QVERIFY(other);
            other->trigger();
            QTRY_COMPARE(button->value(), BgrColor(stored));
        }
        QCOMPARE(form.settings().colorStart, BgrColor(stored));
        QCOMPARE(form.settings().colorEnd, BgrColor(stored));
        QCOMPARE(fromBgr(stored).rgb(), chosen.toRgb().rgb());
        QCOMPARE(m_prompts.unansweredDialogs(), 0);
    }

    void cancelledColorKeepsTheColor()
    {
        TForm1 form(m_host);
        m_prompts.answerColor(std::nullopt);
        form.colorEnd->chooseOther();
        QCOMPARE(form.settings().colorEnd, BgrColor(0xC0C0C0));
        QCOMPARE(m_prompts.asked().size(), 1);
        QCOMPARE(m_prompts.asked().first().text, QColor(0xC0, 0xC0, 0xC0).name());
    }

    void paletteColorIsStored()
    {
        TForm1 form(m_host);
        form.show();
        auto* red =
            form.colorStart->palette()->findChild<QToolButton*>(QStringLiteral("color0000ff"));
        QVERIFY(red);
        red->click();
        QCOMPARE(form.settings().colorStart, BgrColor(0x0000FF));
        QCOMPARE(form.settings().colorEnd, BgrColor(0xC0C0C0));
    }

    void spinArrowsDriveTheQualityBox()
    {
        TForm1 form(m_host);
        form.show();
        auto* up = form.UpDown1->findChild<QToolButton*>(QStringLiteral("up"));
        auto* down = form.UpDown1->findChild<QToolButton*>(QStringLiteral("down"));
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(form.settings().qualite, QStringLiteral("71"));
        QTest::mouseClick(down, Qt::LeftButton);
        QTest::mouseClick(down, Qt::LeftButton);
        QCOMPARE(form.settings().qualite, QStringLiteral("69"));

        form.qualite->clear();
        QTest::keyClicks(form.qualite, QStringLiteral("100"));
        QCOMPARE(form.UpDown1->position(), 100);
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(form.settings().qualite, QStringLiteral("100"));

        // Text outside the arrows' range is kept as typed; the build judges it.
        form.qualite->clear();
        QTest::keyClicks(form.qualite, QStringLiteral("5"));
        QCOMPARE(form.settings().qualite, QStringLiteral("5"));
        form.qualite->clear();
        QCOMPARE(form.settings().qualite, QString());
    }

    void showingResetsTheProgressBar()
    {
        TForm1 form(m_host);
        form.ProgressBar1->setValue(40);
        form.show();
        QCOMPARE(form.ProgressBar1->value(), 0);
        form.ProgressBar1->setValue(60);
        form.hide();
        form.show();
        QCOMPARE(form.ProgressBar1->value(), 0);
    }

    void pageRangeIsWrittenByTheBuild()
    {
        TForm1 form(m_host);
        form.setStartPageText(QStringLiteral("1"));
        form.setEndPageText(QStringLiteral("12"));
        QCOMPARE(form.settings().endPage, QStringLiteral("12"));
        QCOMPARE(form.endPage->text(), QStringLiteral("12"));
    }

    void valuesLastWhileHidden()
    {
        TForm1 form(m_host);
        form.show();
        form.QualiteLow->setChecked(true);
        form.qualite->setText(QStringLiteral("55"));
        form.hide();
        form.show();
        QCOMPARE(form.settings().preset, QualityPreset::Low);
        QCOMPARE(form.settings().qualite, QStringLiteral("55"));
    }

    // "Publication…" sits in the free band between the design's groups; its dialog refuses an
    // address that is not valid, keeps its values while hidden, and a build refuses it too.
    void publicationDialog()
    {
        TForm1 form(m_host);
        form.show();
        const QRect button = form.PublicationButton->geometry();
        QVERIFY(!button.intersects(form.GroupBox3->geometry()));
        QVERIFY(!button.intersects(form.GroupBox2->geometry()));
        form.PublicationButton->click();
        PublicationDialog& dialog = *form.publicationDialog();
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Publication"));

        const QString refusal =
            QStringLiteral("L'adresse de publication « ftp://exemple.fr/ » n'est pas valable : "
                           "indiquez l'adresse complète du dossier du catalogue, en http ou "
                           "https, par exemple https://exemple.fr/catalogue/");
        dialog.publicationAddress->setText(QStringLiteral("ftp://exemple.fr/"));
        dialog.okButton->click();
        QCOMPARE(m_prompts.messages(), QStringList{u"Erreur: " + refusal});
        QVERIFY(dialog.isVisible());
        QSignalSpy ended(&CatalogueBuilder::of(form), &CatalogueBuilder::buildEnded);
        form.PngSpeedButton1->click();
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.first().first().value<BuildOutcome>().error, refusal);

        dialog.publicationAddress->setText(QStringLiteral(" https://exemple.fr/cat "));
        dialog.pdfCopy->setChecked(true);
        dialog.okButton->click();
        QVERIFY(!dialog.isVisible());
        form.hide();
        form.show();
        form.PublicationButton->click();
        QCOMPARE(dialog.publicationAddress->text(), QStringLiteral(" https://exemple.fr/cat "));
        QCOMPARE(dialog.publication().url, QStringLiteral("https://exemple.fr/cat/"));
        QVERIFY(dialog.publication().pdfCopy);
    }
};

QTEST_MAIN(OptionsTest)
#include "tst_options.moc"
