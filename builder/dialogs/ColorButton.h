#pragma once

#include "builder/build/CatalogueSettings.h"

#include <QToolButton>

class QMenu;

namespace vellora {

// A button that shows a colour and, when clicked, drops down a palette of the sixteen basic
// colours with a button "&Other..." that asks for any colour. The value is kept exactly as
// the catalogue stores it (0x00BBGGRR), so what was chosen is what gets written.
class ColorButton final : public QToolButton
{
    Q_OBJECT
public:
    explicit ColorButton(BgrColor value, QWidget* parent = nullptr);

    BgrColor value() const { return m_value; }
    void setValue(BgrColor value);

    // The palette that drops down; tests pick from it like a user.
    QMenu* palette() const { return m_palette; }
    // Asks for any colour through the program's colour dialog.
    void chooseOther();

Q_SIGNALS:
    void valueChanged(vellora::BgrColor value);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildPalette();
    void updateSwatch();

    BgrColor m_value;
    QMenu* m_palette = nullptr;
};

} // namespace vellora
