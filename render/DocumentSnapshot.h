#pragma once

#include <QString>
#include <memory>

namespace vellora {

// A private copy of a document, taken once when a print job is handled, so that the preview
// and the conversion of one job read the same document even when another job rewrites the
// print file in between. The copy is removed when the last owner lets it go.
class TDocumentSnapshot
{
public:
    // Copies `file` into the private snapshot folder. When the file does not exist (or cannot
    // be copied) the snapshot names the original, so that a run reports it missing by its name.
    static std::shared_ptr<const TDocumentSnapshot> Take(const QString& file);

    ~TDocumentSnapshot();
    TDocumentSnapshot(const TDocumentSnapshot&) = delete;
    TDocumentSnapshot& operator=(const TDocumentSnapshot&) = delete;

    // The absolute path to run.
    const QString& path() const { return m_path; }
    // The document it was taken from.
    const QString& source() const { return m_source; }
    bool isCopy() const { return m_owned; }

private:
    TDocumentSnapshot(QString source, QString path, bool owned)
        : m_source(std::move(source)), m_path(std::move(path)), m_owned(owned)
    {}

    QString m_source;
    QString m_path;
    bool m_owned;
};

} // namespace vellora
