#include "builder/dialogs/Index.h"

#include "Errors.h"
#include "WindowPlacement.h"
#include "builder/build/IndexFile.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>
#include <QTableWidget>

namespace vellora {

namespace {

TindexForm* g_indexForm = nullptr;

constexpr int kPageDigits = 5;

// The page column takes up to five digits; a full cell moves on by itself.
class PageCellDelegate : public QStyledItemDelegate
{
public:
    PageCellDelegate(TindexForm* form, QObject* parent) : QStyledItemDelegate(parent), m_form(form)
    {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (line && index.column() == 0) {
            line->setValidator(new QRegularExpressionValidator(
                QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(kPageDigits)), line));
            QObject::connect(line, &QLineEdit::textEdited, m_form,
                             [form = m_form](const QString& text) {
                                 if (text.size() == kPageDigits)
                                     QMetaObject::invokeMethod(form, &TindexForm::moveToNextCell,
                                                               Qt::QueuedConnection);
                             });
        }
        return editor;
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override
    {
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (!line) {
            QStyledItemDelegate::setModelData(editor, model, index);
            return;
        }
        model->setData(index, TindexForm::AdvStringGrid1CellValidate(index.column(), line->text()));
    }

protected:
    // Enter in an open editor also moves on, as it does between cells.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                m_form->moveToNextCell();
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(watched, event);
    }

private:
    TindexForm* m_form;
};

QString cellText(const QTableWidget* table, int row, int column)
{
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

} // namespace

TindexForm* indexForm()
{
    return g_indexForm;
}
void setIndexForm(TindexForm* form)
{
    g_indexForm = form;
}

TindexForm::TindexForm(QWidget* parent) : QWidget(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("indexForm"));
    setWindowTitle(QStringLiteral("Index Creation"));
    resize(553, 532);

    HTMLabel1 = new QLabel(this);
    HTMLabel1->setObjectName(QStringLiteral("HTMLabel1"));
    HTMLabel1->setTextFormat(Qt::RichText);
    HTMLabel1->setAlignment(Qt::AlignCenter);
    HTMLabel1->setText(QStringLiteral("Press <b>Ins </b>to add a row/ <b>Del </b>to delete row."));

    AdvStringGrid1 = new QTableWidget(2, 2, this);
    AdvStringGrid1->setObjectName(QStringLiteral("AdvStringGrid1"));
    // Row 0 is the captions row of the grid itself, so the table's own headers stay hidden.
    AdvStringGrid1->horizontalHeader()->hide();
    AdvStringGrid1->verticalHeader()->hide();
    AdvStringGrid1->verticalHeader()->setDefaultSectionSize(21);
    AdvStringGrid1->setColumnWidth(0, 45);
    AdvStringGrid1->horizontalHeader()->setStretchLastSection(true);
    AdvStringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    AdvStringGrid1->setEditTriggers(QAbstractItemView::DoubleClicked |
                                    QAbstractItemView::EditKeyPressed |
                                    QAbstractItemView::AnyKeyPressed);
    AdvStringGrid1->setItemDelegate(new PageCellDelegate(this, AdvStringGrid1));
    AdvStringGrid1->installEventFilter(this);
    setGrid(IndexGrid::initial());

    AdvGlowButton1 = new QPushButton(QStringLiteral("Save catalog"), this);
    AdvGlowButton1->setObjectName(QStringLiteral("AdvGlowButton1"));
    AdvGlowButton2 = new QPushButton(QStringLiteral("Open catalog"), this);
    AdvGlowButton2->setObjectName(QStringLiteral("AdvGlowButton2"));
    connect(AdvGlowButton1, &QPushButton::clicked, this, &TindexForm::AdvGlowButton1Click);
    connect(AdvGlowButton2, &QPushButton::clicked, this, &TindexForm::AdvGlowButton2Click);
    placeControls();
}

TindexForm::~TindexForm()
{
    if (g_indexForm == this)
        g_indexForm = nullptr;
}

IndexGrid TindexForm::grid() const
{
    IndexGrid result;
    result.columns = AdvStringGrid1->columnCount();
    for (int row = 0; row < AdvStringGrid1->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < result.columns; ++column)
            cells.append(cellText(AdvStringGrid1, row, column));
        result.rows.append(cells);
    }
    return result;
}

void TindexForm::setGrid(const IndexGrid& grid)
{
    AdvStringGrid1->setColumnCount(grid.columns);
    AdvStringGrid1->setRowCount(grid.rowCount());
    for (int row = 0; row < grid.rowCount(); ++row) {
        for (int column = 0; column < grid.columns; ++column)
            AdvStringGrid1->setItem(row, column, new QTableWidgetItem(grid.cell(row, column)));
    }
    AdvStringGrid1->setColumnWidth(0, 45);
    styleHeaderRow();
}

void TindexForm::styleHeaderRow()
{
    if (AdvStringGrid1->rowCount() == 0)
        return;
    for (int column = 0; column < AdvStringGrid1->columnCount(); ++column) {
        QTableWidgetItem* item = AdvStringGrid1->item(0, column);
        if (!item) {
            item = new QTableWidgetItem;
            AdvStringGrid1->setItem(0, column, item);
        }
        // Shown like a header: the file replaces it, the user does not type into it.
        item->setFlags(Qt::ItemIsEnabled);
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
        item->setBackground(palette().button());
    }
}

QString TindexForm::AdvStringGrid1CellValidate(int column, const QString& value)
{
    return column == 0 ? trimmedPageCell(value) : value;
}

void TindexForm::AdvGlowButton1Click()
{
    const QString file = prompts().saveFileName(SaveDialog1);
    if (file.isEmpty())
        return;
    try {
        saveIndexFile(file, grid());
    } catch (const EVellora& error) {
        prompts().error(error.message());
    }
}

void TindexForm::AdvGlowButton2Click()
{
    const QString file = prompts().openFileName(OpenDialog1);
    if (file.isEmpty())
        return;
    IndexGrid read = grid();
    try {
        openIndexFile(file, read);
    } catch (const EVellora& error) {
        prompts().error(error.message());
        return;
    }
    setGrid(read);
}

void TindexForm::AdvStringGrid1AutoInsertRow(int row)
{
    QString number;
    try {
        number = nextPageNumber(grid(), row);
    } catch (const EVellora& error) {
        prompts().error(error.message());
    }
    AdvStringGrid1->setItem(row, 0, new QTableWidgetItem(number));
}

void TindexForm::insertRow(int row)
{
    AdvStringGrid1->insertRow(row);
    for (int column = 0; column < AdvStringGrid1->columnCount(); ++column)
        AdvStringGrid1->setItem(row, column, new QTableWidgetItem);
    AdvStringGrid1AutoInsertRow(row);
}

void TindexForm::moveToNextCell()
{
    QTableWidget* table = AdvStringGrid1;
    int row = std::max(table->currentRow(), 0);
    int column = table->currentColumn() + 1;
    if (column >= table->columnCount()) {
        column = 0;
        ++row;
        if (row >= table->rowCount())
            insertRow(row);
    }
    // Moving the current cell stores (and trims) what an open editor holds.
    table->setCurrentCell(row, column);
    table->setFocus();
}

void TindexForm::insertRowAfterCurrent()
{
    const int row = std::max(AdvStringGrid1->currentRow(), 0) + 1;
    insertRow(row);
    AdvStringGrid1->setCurrentCell(row, 0);
}

void TindexForm::deleteCurrentRow()
{
    const int row = AdvStringGrid1->currentRow();
    if (row < 1) // the captions row stays
        return;
    AdvStringGrid1->removeRow(row);
    if (AdvStringGrid1->rowCount() > 1)
        AdvStringGrid1->setCurrentCell(std::min(row, AdvStringGrid1->rowCount() - 1), 0);
}

bool TindexForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == AdvStringGrid1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            moveToNextCell();
            return true;
        case Qt::Key_Insert:
            insertRowAfterCurrent();
            return true;
        case Qt::Key_Delete: // keys reach the grid only while no cell is being edited
            deleteCurrentRow();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TindexForm::showEvent(QShowEvent* event)
{
    if (!m_centred) {
        m_centred = true;
        centreOnScreen(this);
    }
    QWidget::showEvent(event);
}

void TindexForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeControls();
}

// The grid grows with the window; the buttons stay below it.
void TindexForm::placeControls()
{
    HTMLabel1->setGeometry(16, 16, width() - 32, 17);
    const int gridHeight = std::max(100, height() - 40 - 91);
    AdvStringGrid1->setGeometry(16, 40, width() - 32, gridHeight);
    const int buttonTop = 40 + gridHeight + 7;
    AdvGlowButton1->setGeometry(16, buttonTop, 177, 41);
    AdvGlowButton2->setGeometry(width() - 16 - 177, buttonTop, 177, 41);
}

} // namespace vellora
