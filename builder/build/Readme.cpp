#include "builder/build/Readme.h"

namespace vellora {

namespace {
// One message, kept whole as translators see it; its line breaks become the file's lines.
const QString kReadmeMessage = QStringLiteral(
    "Vellora a créé votre dossier.\n"
    "\n"
    "Vous pouvez Voir le résultat localement en ouvrant le fichier HTML contenu dans le "
    "répertoire indiqué.\n"
    "\n"
    "ATTENTION\n"
    "---------\n"
    "\n"
    "Pour des raisons de securité, Internet Explorer n'affichera pas l'objet Flash.\n"
    "Pour habiliter l'objet FLASH, il faut cliquer sur la barre du haut dans Internet Explorer "
    "et accepter l'activeX FLASH\n"
    "\n"
    "Pour publier votre catalogue, il faut UPLODER tous les fichiers présents dans le dossier "
    "dans votre site Internet via FTP");
} // namespace

QStringList readmeLines()
{
    return kReadmeMessage.split(u'\n');
}

QByteArray readmeText()
{
    QByteArray text;
    for (const QString& line : readmeLines())
        text += line.toUtf8() + "\r\n";
    return text;
}

} // namespace vellora
