#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vellora::converter {

class OutputError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The files one conversion produces. Each is first written to a temporary file in the
// folder of its final path; commit() renames them all into place. Until then nothing exists
// at the final paths, and the temporary files are removed when this object goes away, on
// SIGTERM, SIGINT or SIGHUP (the signal then ends the program with the usual status).
class OutputFiles
{
public:
    OutputFiles();
    ~OutputFiles();
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    // Writes `data` to a new temporary file for `finalPath`.
    void stage(const std::string& finalPath, const std::uint8_t* data, std::size_t size);

    // Renames every staged file into place, in the order staged. When one rename fails,
    // the files already renamed are removed again.
    void commit();

private:
    struct Staged
    {
        std::string temporary;
        std::string final;
    };
    std::vector<Staged> m_files;
};

// The page image beside a movie: ".swf" at the end replaced by ".jpg" (or ".jpg" appended).
std::string imagePathFor(const std::string& moviePath);

} // namespace vellora::converter
