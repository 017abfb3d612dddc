#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vellora {

// The build's log: what it did, page by page, in page order. Saved whole to the log file
// after each converter command, so the file shows how far a build got.
class BuildLog
{
public:
    void clear() { m_lines.clear(); }

    void addOutputFolder(const QString& outputFolder); // repertoire_courant=
    void addGotoPage(int page);                        // gotoPage:
    void addPageFile(const QString& pageFile);         // nom_page:"<file>"
    void addConverterCommand(const QString& command);  // pdfexe:

    const QStringList& lines() const { return m_lines; }

    // UTF-8, every line followed by CR LF.
    QByteArray text() const;

    // Replaces the log file whole; returns false (and leaves the old file) when it cannot.
    bool save(const QString& path) const;

private:
    QStringList m_lines;
};

} // namespace vellora
