#include "IndexGrid.h"

#include <algorithm>

namespace vellora {

IndexGrid IndexGrid::initial()
{
    IndexGrid grid;
    grid.rows = {{QStringLiteral("Page"), QStringLiteral("Description")}, {QString(), QString()}};
    return grid;
}

QString IndexGrid::cell(int row, int column) const
{
    if (row < 0 || row >= rows.size() || column < 0 || column >= rows[row].size())
        return {};
    return rows[row][column];
}

void IndexGrid::setCell(int row, int column, const QString& text)
{
    if (row < 0 || column < 0)
        return;
    while (rows.size() <= row)
        rows.append(QStringList());
    columns = std::max(columns, column + 1);
    QStringList& cells = rows[row];
    while (cells.size() < columns)
        cells.append(QString());
    cells[column] = text;
}

} // namespace vellora
