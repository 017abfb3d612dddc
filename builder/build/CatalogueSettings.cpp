#include "builder/build/CatalogueSettings.h"

namespace vellora {

BgrColor toBgr(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return static_cast<BgrColor>(rgb.red()) | static_cast<BgrColor>(rgb.green()) << 8 |
           static_cast<BgrColor>(rgb.blue()) << 16;
}

QColor fromBgr(BgrColor value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

std::array<ViewerButtonSetting, kViewerButtonCount> CatalogueSettings::defaultButtons()
{
    return {{
        {true, QStringLiteral("Imprimer page")},
        {true, QStringLiteral("Zoom -")},
        {true, QStringLiteral("Zoom +")},
        {true, QStringLiteral("Aller à la première page")},
        {true, QStringLiteral("Aller à la page précédente")},
        {true, QStringLiteral("Aller à la page suivante")},
        {true, QStringLiteral("Aller à la dernière page")},
        {true, QStringLiteral("Afficher l'index")},
        {true, QStringLiteral("Afficher les pages")},
        {true, QStringLiteral("Full screen Mode")},
    }};
}

QString viewerButtonElement(ViewerButton which)
{
    static const std::array<QString, kViewerButtonCount> names = {
        QStringLiteral("print_btn"),    QStringLiteral("zoomLess_btn"),
        QStringLiteral("zoomPlus_btn"), QStringLiteral("first_btn"),
        QStringLiteral("previous_btn"), QStringLiteral("next_btn"),
        QStringLiteral("last_btn"),     QStringLiteral("index_btn"),
        QStringLiteral("pages_btn"),    QStringLiteral("fullScreen_btn"),
    };
    return names[static_cast<std::size_t>(which)];
}

} // namespace vellora
