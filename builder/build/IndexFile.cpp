#include "builder/build/IndexFile.h"

#include "Errors.h"
#include "builder/build/AtomicFile.h"
#include "builder/build/TextDecoding.h"

#include <QFile>
#include <algorithm>
#include <array>

namespace vellora {

namespace {

constexpr char16_t kLineBreakMark = 11;
constexpr std::array<char16_t, 10> kSeparators = {u',', u';', u'#', u'\t', u'|',
                                                  u'@', u'*', u'-', u'+',  u'&'};

bool isLineEnd(QChar c)
{
    return c == u'\r' || c == u'\n';
}

// Skips the line end at `at` (CR LF, CR or LF) and returns the position after it.
qsizetype skipLineEnd(const QString& text, qsizetype at)
{
    if (text[at] == u'\r' && at + 1 < text.size() && text[at + 1] == u'\n')
        return at + 2;
    return at + 1;
}

// The first `count` lines of the file, a quoted field's line breaks included in its line.
QStringList firstLines(const QString& text, int count)
{
    QStringList lines;
    bool quoted = false;
    qsizetype start = 0;
    qsizetype at = 0;
    while (at < text.size() && lines.size() < count) {
        if (text[at] == u'"') {
            quoted = !quoted;
        } else if (!quoted && isLineEnd(text[at])) {
            lines.append(text.mid(start, at - start));
            at = start = skipLineEnd(text, at);
            continue;
        }
        ++at;
    }
    if (lines.size() < count && start < text.size())
        lines.append(text.mid(start));
    return lines;
}

int countOutsideQuotes(const QString& line, QChar separator)
{
    int count = 0;
    bool quoted = false;
    for (const QChar c : line) {
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted && c == separator)
            ++count;
    }
    return count;
}

} // namespace

QString indexFileField(const QString& cell)
{
    QString field = cell;
    field.replace(u'"', QStringLiteral("\"\""));
    if (field.isEmpty())
        return QStringLiteral("\"\"");
    const bool hasLineBreak = field.contains(u'\r') || field.contains(u'\n');
    if (hasLineBreak) {
        field.replace(QStringLiteral("\r\n"), QString(QChar(kLineBreakMark)));
        field.replace(u'\r', QChar(kLineBreakMark));
        field.replace(u'\n', QChar(kLineBreakMark));
    }
    if (hasLineBreak || field.contains(u',') || field.contains(u'"'))
        return u'"' + field + u'"';
    return field;
}

QByteArray writeIndexFile(const IndexGrid& grid)
{
    QByteArray file;
    for (int row = 0; row < grid.rowCount(); ++row) {
        QStringList fields;
        for (int column = 0; column < grid.columns; ++column)
            fields.append(indexFileField(grid.cell(row, column)));
        file += fields.join(u',').toUtf8() + "\r\n";
    }
    return file;
}

QChar detectSeparator(const QString& text)
{
    const QStringList lines = firstLines(text, 2);
    if (lines.isEmpty())
        return u',';
    if (lines.size() == 2) {
        for (const char16_t candidate : kSeparators) {
            const int first = countOutsideQuotes(lines[0], candidate);
            if (first > 0 && first == countOutsideQuotes(lines[1], candidate))
                return candidate;
        }
    }
    for (const char16_t candidate : kSeparators) {
        for (const QString& line : lines) {
            if (countOutsideQuotes(line, candidate) > 0)
                return candidate;
        }
    }
    return u',';
}

QList<QStringList> readIndexFile(const QByteArray& bytes)
{
    const QString text = decodeUtf8OrWindows1252(bytes);
    const QChar separator = detectSeparator(text);
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;      // inside a quoted field
    bool lineStarted = false; // the current line holds something, even an empty field

    qsizetype at = 0;
    while (at < text.size()) {
        const QChar c = text[at];
        if (quoted) {
            if (c == u'"') {
                if (at + 1 < text.size() && text[at + 1] == u'"') {
                    field += u'"';
                    at += 2;
                    continue;
                }
                quoted = false;
            } else if (c == QChar(kLineBreakMark)) {
                field += QStringLiteral("\r\n");
            } else if (isLineEnd(c)) {
                field += QStringLiteral("\r\n");
                at = skipLineEnd(text, at);
                continue;
            } else {
                field += c;
            }
            ++at;
            continue;
        }
        if (c == u'"' && field.isEmpty()) {
            quoted = true;
            lineStarted = true;
        } else if (c == separator) {
            row.append(field);
            field.clear();
            lineStarted = true;
        } else if (isLineEnd(c)) {
            row.append(field);
            rows.append(row);
            row.clear();
            field.clear();
            lineStarted = false;
            at = skipLineEnd(text, at);
            continue;
        } else {
            field += c;
            lineStarted = true;
        }
        ++at;
    }
    if (lineStarted || quoted) {
        row.append(field);
        rows.append(row);
    }
    return rows;
}

void fillIndexGrid(IndexGrid& grid, const QList<QStringList>& rows)
{
    for (const QStringList& row : rows)
        grid.columns = std::max(grid.columns, int(row.size()));
    grid.rows.resize(rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        QStringList& cells = grid.rows[r];
        while (cells.size() < grid.columns)
            cells.append(QString());
        for (int column = 0; column < rows[r].size(); ++column)
            cells[column] = rows[r][column];
    }
}

void saveIndexFile(const QString& path, const IndexGrid& grid)
{
    writeFileAtomically(path, writeIndexFile(grid), FileAccess::KeepPermissions);
}

void openIndexFile(const QString& path, IndexGrid& grid)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EVellora(cannotOpenFileMessage(path));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EVellora(cannotOpenFileMessage(path));
    const QList<QStringList> rows = readIndexFile(bytes);
    if (rows.isEmpty())
        throw EVellora(kFileIsEmpty);
    fillIndexGrid(grid, rows);
}

} // namespace vellora
