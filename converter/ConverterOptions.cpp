#include "ConverterOptions.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace vellora::converter {

namespace {

bool allDigits(const std::string& text)
{
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

int pageNumber(const std::string& text)
{
    int value = 0;
    if (!allDigits(text))
        throw UsageError("-p attend un numéro de page, par exemple -p1");
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1)
        throw UsageError("numéro de page incorrect : " + text);
    return value;
}

int jpegQuality(const std::string& text)
{
    // An empty value is allowed and means the default.
    if (text.empty())
        return kDefaultJpegQuality;
    int value = -1;
    if (allDigits(text)) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size())
            value = -1;
    }
    if (value < 0 || value > 100)
        throw UsageError("jpegquality doit être un nombre de 0 à 100 : \"" + text + "\"");
    return value;
}

double zoom(const std::string& text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value) || value < 1 || value > 2400)
        throw UsageError("zoom doit être une résolution de 1 à 2400 points par pouce : \"" + text +
                         "\"");
    return value;
}

void applySetting(ConverterOptions& options, std::string setting)
{
    while (!setting.empty() && setting.front() == '-')
        setting.erase(setting.begin());
    const auto equals = setting.find('=');
    const std::string key = setting.substr(0, equals);
    const std::string value =
        equals == std::string::npos ? std::string() : setting.substr(equals + 1);
    if (key == "zoom")
        options.zoom = zoom(value);
    else if (key == "jpegquality")
        options.jpegQuality = jpegQuality(value);
    else if (key == "text") {
        if (value != "0" && value != "1")
            throw UsageError("text doit valoir 0 ou 1 : \"" + value + "\"");
        options.textLayer = value == "1";
    } else if (key == "subpixels") {
        // Anti-aliasing precision of vector output; the page image has its own.
    } else
        throw UsageError("réglage inconnu après -s : \"" + setting + "\"");
}

bool isIgnoredFlag(const std::string& argument)
{
    if (argument == "-w" || argument == "-S")
        return true;
    return argument.size() > 2 && argument.compare(0, 2, "-O") == 0 &&
           allDigits(argument.substr(2));
}

} // namespace

ConverterOptions parseOptions(const std::vector<std::string>& arguments)
{
    ConverterOptions options;
    bool information = false;
    bool outline = false;
    bool pageGiven = false;
    bool outputGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const auto nextValue = [&](const char* what) -> const std::string& {
            if (i + 1 >= arguments.size())
                throw UsageError(std::string(argument) + " attend " + what);
            return arguments[++i];
        };
        if (argument == "-h" || argument == "--help") {
            options.mode = Mode::Help;
            return options;
        }
        if (argument == "-V" || argument == "--version") {
            options.mode = Mode::Version;
            return options;
        }
        if (argument == "-I") {
            information = true;
        } else if (argument == "--outline") {
            outline = true;
        } else if (argument.compare(0, 2, "-p") == 0) {
            if (argument.size() == 2 && i + 1 < arguments.size() && allDigits(arguments[i + 1]))
                options.page = pageNumber(arguments[++i]);
            else
                options.page = pageNumber(argument.substr(2));
            pageGiven = true;
        } else if (argument == "-o") {
            options.output = nextValue("un nom de fichier");
            if (options.output.empty())
                throw UsageError("-o attend un nom de fichier");
            outputGiven = true;
        } else if (argument == "-s") {
            applySetting(options, nextValue("un réglage, par exemple jpegquality=85"));
        } else if (argument == "-G") {
            options.preset = Preset::High;
        } else if (argument == "--flatten") {
            if (options.preset == Preset::Low)
                options.preset = Preset::Medium;
        } else if (isIgnoredFlag(argument)) {
        } else if (!argument.empty() && argument.front() == '-') {
            throw UsageError("option inconnue : " + argument);
        } else if (options.input.empty()) {
            options.input = argument;
        } else {
            throw UsageError("un seul fichier PDF à la fois : \"" + argument + "\" est de trop");
        }
    }

    if (options.input.empty())
        throw UsageError("aucun fichier PDF indiqué (pdf2swf --help pour l'aide)");
    if (outline) {
        if (information || pageGiven || outputGiven)
            throw UsageError("--outline ne se combine pas avec -I, -p ni -o");
        options.mode = Mode::Outline;
        return options;
    }
    if (information) {
        if (pageGiven || outputGiven)
            throw UsageError("-I ne se combine pas avec -p ni -o");
        options.mode = Mode::Information;
        return options;
    }
    if (!pageGiven)
        throw UsageError("indiquez -I (liste des pages) ou -p<numéro> (conversion d'une page)");
    if (!outputGiven)
        throw UsageError("-o <fichier.swf> manque");
    options.mode = Mode::Page;
    return options;
}

namespace {

// The usage text of --help, as printed.
constexpr std::string_view kHelpText = R"help(Usage :
  pdf2swf <fichier.pdf> -I
      liste les pages : une ligne "page=<n> width=<l> height=<h>" par page
      (taille en points, rotation comprise). Les pages comptées sont celles qu'un
      lecteur peut ouvrir : un fichier endommagé est lu tel que MuPDF le répare, et
      seules comptent les pages que l'arbre des pages contient vraiment, quel que
      soit le nombre qu'il annonce. Tout ou rien : si une page ne peut pas être
      chargée, le document est refusé et rien n'est listé.
  pdf2swf <fichier.pdf> --outline
      sens de lecture, titre, sujet, langue et signets du document, en une
      ligne JSON : {"direction":"ltr"|"rtl","title":...,"subject":...,
      "lang":...,"outline":[{"title":...,"page":<n>,"children":[...]},...]}
  pdf2swf <fichier.pdf> -p<n> [-s zoom=<ppp>] [-s jpegquality=<0-100>] -o <pageN.swf>
      convertit la page n en animation Flash (SWF compressé) contenant l'image
      JPEG de la page à la résolution zoom (72 ppp par défaut), et écrit à côté
      les images JPEG de la page pour la visionneuse HTML5 : <pageN.jpg> (plus
      grand côté d'au moins 1600 pixels), <pageN-m.jpg> (800 pixels) et
      <pageN-t.jpg> (vignette, 200 pixels). Qualité JPEG par défaut : 85.
      Toute taille de page est acceptée : une page que Flash ne peut pas montrer
      en entier (plus de 8191 pixels de côté ou 16 777 215 pixels en tout) est
      réduite, jamais refusée.
      Quand la page contient du texte ou des liens, écrit aussi <pageN.js> :
      velloraPage(<n>, {...}); avec les mots, leur position et les liens.

Options :
  -I               mode information (aucun rendu)
  --outline        sens de lecture, titre, langue et signets (aucun rendu)
  -p<n>            numéro de la page à convertir (à partir de 1)
  -o <fichier>     animation à écrire
  -s <réglage>     zoom=<ppp>, jpegquality=<0-100> (vide : 85),
                   text=0 (pas de <page.js> : texte ni sélectionnable ni
                   cherchable, liens inactifs) ; un tiret
                   devant le réglage est admis (-s -zoom=48)
  --flatten        texte vectoriel (glyphes dessinés une fois par animation)
                   sur une image JPEG du reste de la page ; écrit aussi
                   <page.svg>, la page en SVG
  -G               tout vectoriel : texte, tracés et découpes en vecteurs,
                   images en JPEG ; écrit aussi <page.svg>. Une page numérisée
                   ou trop chargée reste une image (message sur la sortie
                   d'erreur)
  -w, -S, -O<n>, -s subpixels=<n>
                   acceptées pour compatibilité, sans effet
  -h, --help       cette aide
  -V, --version    version du programme

Les fichiers d'une page sont écrits sous des noms provisoires puis mis en place
ensemble : en cas d'erreur, un message sur la sortie d'erreur, un code de sortie
non nul, et les fichiers précédents de la page restent tels quels. Les fichiers
annexes de la page que cette conversion n'écrit pas (.svg, .js) sont supprimés.
Un chemin de sortie occupé par autre chose qu'un fichier (dossier, périphérique,
tube nommé, lien symbolique) est refusé avant tout rendu. Une page qui demande
plus de 60 s de calcul est arrêtée, sans rien laisser.

Code de sortie : 0 réussite, 2 mauvais usage, 3 disque plein (les autres pages
échoueraient de même), 1 tout autre échec.
)help";

} // namespace

std::string helpText()
{
    return std::string(kHelpText);
}

} // namespace vellora::converter
