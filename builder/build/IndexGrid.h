#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace vellora {

// The contents of the index editor's grid, without widgets: row 0 holds the column captions and
// is saved and replaced like any other row; data rows follow. Every row has `columns` cells.
struct IndexGrid
{
    int columns = 2;
    QList<QStringList> rows;

    // The grid as the editor starts: the header row and one empty row.
    static IndexGrid initial();

    QString cell(int row, int column) const;
    void setCell(int row, int column, const QString& text);
    int rowCount() const { return int(rows.size()); }

    friend bool operator==(const IndexGrid&, const IndexGrid&) = default;
};

// The page number a new row r gets: the page cell of row r - 1 plus one, or 1 after the header
// row or an empty cell ("" and "-" count as 0). Throws EVellora "Cell does not contain integer
// value" when the cell above holds something else.
QString nextPageNumber(const IndexGrid& grid, int row);

// A page cell as the editor keeps it: without blanks or control characters around it.
QString trimmedPageCell(const QString& text);

} // namespace vellora
