#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vellora::converter {

// A command line that cannot be honoured; the message is shown as it stands.
class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

enum class Mode
{
    Help,
    Version,
    Information,
    Outline,
    Page
};

// Low: the page as one image. Medium (--flatten): text as vector glyphs over an image of
// the rest. High (-G): text, outlines and images each in vector form.
enum class Preset
{
    Low,
    Medium,
    High
};

inline constexpr int kDefaultJpegQuality = 85;
inline constexpr double kDefaultZoom = 72.0; // dots per inch of the movie's page image

struct ConverterOptions
{
    Mode mode = Mode::Page;
    std::string input;
    int page = 0; // 1-based
    std::string output;
    double zoom = kDefaultZoom;
    int jpegQuality = kDefaultJpegQuality;
    bool textLayer = true; // write page<i>.js beside the page
    Preset preset = Preset::Low;
};

// Reads the converter's command line (without the program name).
//   <pdf> -I                                    information mode
//   <pdf> --outline                             reading direction and bookmarks
//   <pdf> -p<n> [-s key=value]... [flags] -o <file>   page mode
// Settings after -s may carry a leading dash ("-s -zoom=48"). -G asks for the high preset,
// --flatten for the medium one (-G wins when both are given). Flags accepted for the
// historical command lines and not acted on: -w, -S, -O<n>, -s subpixels=<n>.
ConverterOptions parseOptions(const std::vector<std::string>& arguments);

// The usage text of --help.
std::string helpText();

} // namespace vellora::converter
