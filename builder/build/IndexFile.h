#pragma once

#include "builder/build/IndexGrid.h"

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

namespace vellora {

// The index file: comma-separated, one line per grid row (header first), every line followed
// by CR LF, UTF-8. A line break inside a cell is stored as the character 11 in a quoted field,
// so that every row stays on one line.

// One cell as a field of the file.
QString indexFileField(const QString& cell);

// The whole file for a grid: every row with as many fields as the grid has columns.
QByteArray writeIndexFile(const IndexGrid& grid);

// The separator of a file's first two lines, among , ; # TAB | @ * - + & in that order: the
// first that occurs equally often on both lines, counted outside quoted fields; else the first
// that occurs at all; else a comma. Candidates that occur on neither line never win.
QChar detectSeparator(const QString& text);

// The file's lines split into fields. A quoted field runs to its closing quote (even across
// lines), doubled quotes inside it count as one and the character 11 becomes CR LF again.
// Reads UTF-8, falling back to Windows-1252 byte by byte. Returns no rows for an empty file.
QList<QStringList> readIndexFile(const QByteArray& bytes);

// Puts the file's rows into the grid from row 0: the grid gets exactly as many rows as the file
// has, gains columns for longer rows, and keeps the cells a shorter row does not reach.
void fillIndexGrid(IndexGrid& grid, const QList<QStringList>& rows);

// Saves the grid; throws EVellora "Impossible de créer le fichier <path>".
void saveIndexFile(const QString& path, const IndexGrid& grid);

// Reads the file into the grid; throws EVellora "Impossible d'ouvrir le fichier <path>" or
// "File is empty" (the grid is then unchanged).
void openIndexFile(const QString& path, IndexGrid& grid);

inline const QString kFileIsEmpty = QStringLiteral("File is empty");

} // namespace vellora
