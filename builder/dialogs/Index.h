#pragma once

#include "Prompts.h"
#include "builder/build/IndexGrid.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

namespace vellora {

// The page index editor "Index Creation" (indexForm): a two-column grid of page numbers and
// descriptions that the build writes into the viewer's configuration. Row 0 holds the column
// captions; it is saved and replaced with the file like any other row. Made once at start,
// shown modelessly and only hidden, so the rows last for the whole run.
class TindexForm : public QWidget
{
    Q_OBJECT
public:
    explicit TindexForm(QWidget* parent = nullptr);
    ~TindexForm() override;

    // The grid's contents, as the build reads them when it starts.
    IndexGrid grid() const;
    void setGrid(const IndexGrid& grid);

    QLabel* HTMLabel1;
    QTableWidget* AdvStringGrid1;
    QPushButton* AdvGlowButton1; // "Save catalog"
    QPushButton* AdvGlowButton2; // "Open catalog"

    const FileDialogRequest SaveDialog1{QStringLiteral("Save catalog"),
                                        QStringLiteral("*.csv (*.csv);;*.* (*)"),
                                        QStringLiteral("csv"), QString()};
    const FileDialogRequest OpenDialog1{QStringLiteral("Open catalog"),
                                        QStringLiteral("*.csv (*.csv);;*.* (*)"),
                                        QStringLiteral("csv"), QString()};

    // The page column's value once the user leaves the cell: trimmed. Other columns unchanged.
    static QString AdvStringGrid1CellValidate(int column, const QString& value);

public Q_SLOTS:
    void AdvGlowButton1Click();
    void AdvGlowButton2Click();
    // Numbers the page cell of a row the grid has just appended or inserted.
    void AdvStringGrid1AutoInsertRow(int row);

    // The keys of the grid: Enter moves to the next cell (and appends a row after the last
    // one), Ins inserts a row after the current one, Del deletes the current row.
    void moveToNextCell();
    void insertRowAfterCurrent();
    void deleteCurrentRow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void insertRow(int row);
    void styleHeaderRow();
    void placeControls();

    bool m_centred = false;
};

// The index editor the options dialog opens; set once at start.
TindexForm* indexForm();
void setIndexForm(TindexForm* form);

} // namespace vellora
