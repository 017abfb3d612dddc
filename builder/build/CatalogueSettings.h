#pragma once

#include <QColor>
#include <QString>
#include <array>
#include <cstdint>

namespace vellora {

// A colour as the catalogue stores it: 0x00BBGGRR, red in the low byte.
using BgrColor = std::uint32_t;

BgrColor toBgr(const QColor& color);
QColor fromBgr(BgrColor value);

enum class QualityPreset
{
    High,
    Medium,
    Low
};

// The ten buttons of the catalogue viewer, in the order the configuration lists them.
enum class ViewerButton
{
    Print,
    ZoomLess,
    ZoomPlus,
    First,
    Previous,
    Next,
    Last,
    Index,
    Pages,
    FullScreen,
};
inline constexpr int kViewerButtonCount = 10;

struct ViewerButtonSetting
{
    bool visible = true;
    QString alt;

    friend bool operator==(const ViewerButtonSetting&, const ViewerButtonSetting&) = default;
};

// Everything the options dialog lets the user choose for one catalogue. The build takes one
// copy of it when it starts, so later edits in the dialog never change a running build.
struct CatalogueSettings
{
    QString startPage = QStringLiteral("1");
    QString endPage = QStringLiteral("1");
    BgrColor colorStart = 0xFFFFFF; // white
    BgrColor colorEnd = 0xC0C0C0;   // silver
    QString qualite = QStringLiteral("70");
    QualityPreset preset = QualityPreset::Medium;
    std::array<ViewerButtonSetting, kViewerButtonCount> buttons = defaultButtons();

    const ViewerButtonSetting& button(ViewerButton which) const
    {
        return buttons[static_cast<std::size_t>(which)];
    }
    ViewerButtonSetting& button(ViewerButton which)
    {
        return buttons[static_cast<std::size_t>(which)];
    }

    static std::array<ViewerButtonSetting, kViewerButtonCount> defaultButtons();

    friend bool operator==(const CatalogueSettings&, const CatalogueSettings&) = default;
};

// The configuration element of each viewer button: "print_btn", "zoomLess_btn", ...
QString viewerButtonElement(ViewerButton which);

} // namespace vellora
