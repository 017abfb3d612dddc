#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vellora::converter {

class OutputError : public std::runtime_error
{
public:
    explicit OutputError(const std::string& what, bool diskFull = false)
        : std::runtime_error(what), m_diskFull(diskFull)
    {}
    // The disk, or the user's share of it, is full: every other page would fail alike.
    bool diskFull() const { return m_diskFull; }

private:
    bool m_diskFull = false;
};

// Removes the temporary files of the page being written; safe inside a signal handler.
void removePendingPageFiles();

// The files one page may have in a catalogue folder. Their names derive from the movie's
// path given with -o: ".../page7.swf" gives page7.jpg, page7-m.jpg, page7-t.jpg, page7.svg
// and page7.js beside it.
enum class PageFile
{
    Movie,       // page7.swf
    Image,       // page7.jpg, long side of at least 1600 pixels
    ScreenImage, // page7-m.jpg, long side 800 pixels
    Thumbnail,   // page7-t.jpg, long side 200 pixels
    Vector,      // page7.svg
    TextLayer,   // page7.js
};
inline constexpr std::array kAllPageFiles{PageFile::Movie,       PageFile::Image,
                                          PageFile::ScreenImage, PageFile::Thumbnail,
                                          PageFile::Vector,      PageFile::TextLayer};

// The path of one file of the page whose movie is `moviePath` (".swf" at the end replaced,
// or the suffix appended when the movie has another name).
std::string pageFilePath(const std::string& moviePath, PageFile file);

// All the files of one page, written as one. Each file is first written under a temporary
// name in its own folder; commit() renames them all into place and removes the page's other
// files that this run did not write. A failure anywhere, the commit included, leaves every
// file of the page as it was. Until commit() nothing exists at the final paths; the temporary
// files are removed when this object goes away, and on SIGTERM, SIGINT or SIGHUP (the signal
// then ends the program with its usual status).
class PageFiles
{
public:
    explicit PageFiles(std::string moviePath);
    ~PageFiles();
    PageFiles(const PageFiles&) = delete;
    PageFiles& operator=(const PageFiles&) = delete;

    std::string path(PageFile file) const { return pageFilePath(m_moviePath, file); }

    // Refuses, before any work, a page whose file names are taken by something other than a
    // regular file (folder, device, named pipe, socket, symbolic link), or one of which names
    // the document `input` itself.
    void checkPaths(const std::string& input) const;

    // Writes the contents of `file` to its temporary file; a second write replaces the first.
    void write(PageFile file, const std::uint8_t* data, std::size_t size);

    // Puts the written files in place together and removes the page's files not written.
    void commit();

private:
    struct Staged
    {
        PageFile file;
        std::string temporary;
        std::string final;
    };
    void forget(std::size_t index);
    std::string m_moviePath;
    std::vector<Staged> m_staged;
};

} // namespace vellora::converter
