#include "CommandLine.h"

#include "builder/build/BuildChecks.h"

#include <QFile>
#include <QRegularExpression>
#include <array>

namespace vellora::cli {

namespace {

// The viewer buttons by the names the command line gives them, in the configuration's order.
const std::array<QString, kViewerButtonCount>& buttonNames()
{
    static const std::array<QString, kViewerButtonCount> names = {
        QStringLiteral("print"),       QStringLiteral("zoom-out"), QStringLiteral("zoom-in"),
        QStringLiteral("first"),       QStringLiteral("previous"), QStringLiteral("next"),
        QStringLiteral("last"),        QStringLiteral("index"),    QStringLiteral("pages"),
        QStringLiteral("full-screen"),
    };
    return names;
}

std::optional<ViewerButton> buttonNamed(const QString& name)
{
    const auto& names = buttonNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name)
            return static_cast<ViewerButton>(i);
    }
    return std::nullopt;
}

ParsedArguments usageError(const QString& message)
{
    return {std::nullopt, message + QStringLiteral(" (vellora-build --help décrit les options)"),
            2};
}

// The options that take a value, with and without "=".
const QStringList& optionsWithValue()
{
    static const QStringList options = {
        QStringLiteral("-o"),        QStringLiteral("--output"),
        QStringLiteral("--quality"), QStringLiteral("--jpeg-quality"),
        QStringLiteral("--pages"),   QStringLiteral("--color1"),
        QStringLiteral("--color2"),  QStringLiteral("--hide"),
        QStringLiteral("--show"),    QStringLiteral("--tooltip"),
        QStringLiteral("--index"),   QStringLiteral("--jobs"),
        QStringLiteral("-j"),        QStringLiteral("--url"),
    };
    return options;
}

// Applies one option with its value; returns the usage error, empty when it is fine.
QString applyOption(BuildRequest& request, const QString& option, const QString& value)
{
    CatalogueSettings& settings = request.settings;
    if (option == u"-o" || option == u"--output") {
        if (value.isEmpty())
            return QStringLiteral("-o attend le chemin de la page du catalogue");
        request.htmlFile = value;
    } else if (option == u"--quality") {
        if (value == u"low")
            settings.preset = QualityPreset::Low;
        else if (value == u"medium")
            settings.preset = QualityPreset::Medium;
        else if (value == u"high")
            settings.preset = QualityPreset::High;
        else
            return QStringLiteral("--quality « %1 » : choisissez low, medium ou high").arg(value);
    } else if (option == u"--jpeg-quality") {
        if (!isValidQuality(value))
            return invalidQualityMessage(value);
        settings.qualite = value;
    } else if (option == u"--pages") {
        static const QRegularExpression range(QStringLiteral("\\A([0-9]{1,6})-([0-9]{1,6})\\z"));
        const QRegularExpressionMatch match = range.match(value);
        const int first = match.hasMatch() ? match.captured(1).toInt() : 0;
        const int last = match.hasMatch() ? match.captured(2).toInt() : 0;
        if (first < 1 || last < first)
            return QStringLiteral("--pages « %1 » : indiquez deux numéros de page A-B, avec "
                                  "1 <= A <= B")
                .arg(value);
        request.firstPage = first;
        request.lastPage = last;
    } else if (option == u"--color1" || option == u"--color2") {
        const std::optional<BgrColor> color = parseColor(value);
        if (!color)
            return QStringLiteral("%1 « %2 » : indiquez une couleur #RRGGBB, par exemple #FF8800")
                .arg(option, value);
        (option == u"--color1" ? settings.colorStart : settings.colorEnd) = *color;
    } else if (option == u"--hide" || option == u"--show") {
        for (const QString& name : value.split(u',')) {
            const std::optional<ViewerButton> button = buttonNamed(name.trimmed());
            if (!button)
                return QStringLiteral("%1 « %2 » : bouton inconnu").arg(option, name);
            settings.button(*button).visible = option == u"--show";
        }
    } else if (option == u"--tooltip") {
        const qsizetype equals = value.indexOf(u'=');
        const std::optional<ViewerButton> button =
            equals < 0 ? std::nullopt : buttonNamed(value.left(equals));
        if (!button)
            return QStringLiteral("--tooltip « %1 » : indiquez BOUTON=TEXTE, par exemple "
                                  "print=Imprimer")
                .arg(value);
        settings.button(*button).alt = value.mid(equals + 1);
    } else if (option == u"--index") {
        if (value.isEmpty())
            return QStringLiteral("--index attend un fichier CSV");
        request.indexFile = value;
    } else if (option == u"--url") {
        const std::optional<QString> address = publicationAddress(value);
        if (!address)
            return invalidAddressMessage(value);
        request.publication.url = *address;
    } else if (option == u"--jobs" || option == u"-j") {
        bool ok = false;
        const int jobs = value.toInt(&ok);
        if (!ok || jobs < 1 || jobs > 256)
            return QStringLiteral("--jobs « %1 » : indiquez un nombre de 1 à 256").arg(value);
        request.jobs = jobs;
    }
    return {};
}

} // namespace

std::optional<BgrColor> parseColor(const QString& text)
{
    static const QRegularExpression hex(QStringLiteral("\\A#([0-9A-Fa-f]{6})\\z"));
    const QRegularExpressionMatch match = hex.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const unsigned rgb = match.captured(1).toUInt(nullptr, 16);
    return static_cast<BgrColor>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
}

ParsedArguments parseArguments(const QStringList& arguments)
{
    BuildRequest request;
    // The dialog's own defaults: every page listed from 1, as the build sets them.
    request.settings = CatalogueSettings();
    QStringList inputs;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || !argument.startsWith(u'-') || argument == u"-") {
            inputs.append(argument);
            continue;
        }
        if (argument == u"--") {
            optionsEnded = true;
        } else if (argument == u"--help" || argument == u"-h") {
            return {std::nullopt, helpText(), 0};
        } else if (argument == u"--version") {
            return {std::nullopt, QStringLiteral("vellora-build " VELLORA_VERSION), 0};
        } else if (argument == u"--quiet" || argument == u"-q") {
            request.quiet = true;
        } else if (argument == u"--pdf") {
            request.publication.pdfCopy = true;
        } else {
            QString option = argument;
            QString value;
            const qsizetype equals = argument.indexOf(u'=');
            const bool glued = argument.startsWith(u"--") && equals > 0;
            if (glued) {
                option = argument.left(equals);
                value = argument.mid(equals + 1);
            }
            if (!optionsWithValue().contains(option))
                return usageError(QStringLiteral("option inconnue « %1 »").arg(argument));
            if (!glued) {
                if (i + 1 >= arguments.size())
                    return usageError(QStringLiteral("%1 attend une valeur").arg(option));
                value = arguments[++i];
            }
            if (const QString problem = applyOption(request, option, value); !problem.isEmpty())
                return usageError(problem);
        }
    }
    if (inputs.size() != 1)
        return usageError(inputs.isEmpty()
                              ? QStringLiteral("indiquez le document à transformer")
                              : QStringLiteral("un seul document à la fois (reçu : %1)")
                                    .arg(inputs.join(QStringLiteral(", "))));
    if (request.htmlFile.isEmpty())
        return usageError(QStringLiteral("indiquez la page du catalogue avec -o "
                                         "DOSSIER/NOM.html"));
    request.input = inputs.first();
    return {request, {}, 0};
}

QString helpText()
{
    // The page is data, kept beside this file as help.txt and built into the program.
    QFile page(QStringLiteral(":/vellora-build/help.txt"));
    if (!page.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(page.readAll());
}

} // namespace vellora::cli
