#include "builder/build/ConverterCommand.h"

#include "Paths.h"

namespace vellora {

namespace {

QString quoted(const QString& text)
{
    return u'"' + text + u'"';
}

} // namespace

ConverterFolders ConverterFolders::user()
{
    return {paths::ToolFolder(), paths::StateFolder()};
}

QString ConverterProgram(const ConverterFolders& folders)
{
    return folders.tools + u"/pdf2swf";
}

QString ConverterInput(const ConverterFolders& folders)
{
    return folders.work + u"/out.pdf";
}

QString PresetOptions(QualityPreset preset)
{
    switch (preset) {
    case QualityPreset::Low:
        return QStringLiteral(" -s -zoom=48 -w -S -O2 -s jpegquality=");
    case QualityPreset::Medium:
        return QStringLiteral(" --flatten -s subpixels=1 -s -zoom=48 -w -s jpegquality=");
    case QualityPreset::High:
        return QStringLiteral(" -s -zoom=48 -G -w -s jpegquality=");
    }
    return {};
}

QString PageFile(const QString& outputFolder, int page)
{
    return outputFolder + u"page" + QString::number(page) + u".swf";
}

namespace {
// The converter on the working PDF with one option, which the command text ends with as given.
ConverterCommand informationCommand(const ConverterFolders& folders, const QString& option,
                                    const QString& commandLineEnd)
{
    ConverterCommand command;
    command.program = ConverterProgram(folders);
    const QString input = ConverterInput(folders);
    command.arguments = {input, option};
    command.commandLine = quoted(command.program) + u"  " + quoted(input) + commandLineEnd;
    return command;
}
} // namespace

ConverterCommand PageCountCommand(const ConverterFolders& folders)
{
    return informationCommand(folders, QStringLiteral("-I"), QStringLiteral(" -I "));
}

ConverterCommand OutlineCommand(const ConverterFolders& folders)
{
    return informationCommand(folders, QStringLiteral("--outline"), QStringLiteral(" --outline"));
}

ConverterCommand PageCommand(const ConverterFolders& folders, int page, QualityPreset preset,
                             const QString& qualite, const QString& outputFolder, int documentPage)
{
    ConverterCommand command;
    command.program = ConverterProgram(folders);
    const QString input = ConverterInput(folders);
    const QString pageOption = u"-p" + QString::number(documentPage > 0 ? documentPage : page);
    const QString options = PresetOptions(preset);
    const QString output = PageFile(outputFolder, page);

    // The preset's words are fixed texts without quotes; the quality, typed by the user,
    // is glued to the last one ("jpegquality=") as a single argument whatever it holds.
    QStringList presetWords = options.split(u' ', Qt::SkipEmptyParts);
    presetWords.last() += qualite;
    command.arguments =
        QStringList{input, pageOption} + presetWords + QStringList{QStringLiteral("-o"), output};
    command.commandLine = quoted(command.program) + u"  " + quoted(input) + u"  " + pageOption +
                          options + qualite + u" -o " + quoted(output);
    return command;
}

} // namespace vellora
