#include "builder/build/BuildLog.h"

#include "Errors.h"
#include "builder/build/AtomicFile.h"

namespace vellora {

void BuildLog::addOutputFolder(const QString& outputFolder)
{
    m_lines.append(u"repertoire_courant=" + outputFolder);
}

void BuildLog::addGotoPage(int page)
{
    m_lines.append(u"gotoPage:" + QString::number(page));
}

void BuildLog::addPageFile(const QString& pageFile)
{
    m_lines.append(u"nom_page:\"" + pageFile + u'"');
}

void BuildLog::addConverterCommand(const QString& command)
{
    m_lines.append(u"pdfexe:" + command);
}

QByteArray BuildLog::text() const
{
    QByteArray text;
    for (const QString& line : m_lines)
        text += line.toUtf8() + "\r\n";
    return text;
}

bool BuildLog::save(const QString& path) const
{
    try {
        writeFileAtomically(path, text(), FileAccess::Private);
        return true;
    } catch (const EVellora&) {
        return false; // a log that cannot be written never stops a build
    }
}

} // namespace vellora
