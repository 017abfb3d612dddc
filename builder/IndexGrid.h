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

} // namespace vellora
