#include "builder/build/IndexGrid.h"

#include "Errors.h"

#include <QRegularExpression>
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

QString nextPageNumber(const IndexGrid& grid, int row)
{
    const QString previous = grid.cell(row - 1, 0);
    long long number = 0;
    if (!previous.isEmpty() && row > 1 && previous != u"-") {
        static const QRegularExpression integer(QStringLiteral("\\A[+-]?[0-9]{1,18}\\z"));
        if (!integer.match(previous).hasMatch())
            throw EVellora(QStringLiteral("Cell does not contain integer value"));
        number = previous.toLongLong();
    }
    return QString::number(number + 1);
}

QString trimmedPageCell(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    const auto blank = [](QChar c) {
        return c.isSpace() || c.unicode() < 0x20 || c == QChar(0x7F);
    };
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace vellora
