#pragma once

// The system's error numbers in French, for every program of Vellora (with or without Qt):
// the machine may have no French locale, so the texts are our own.

#include <cerrno>
#include <string>

namespace vellora {

// Whether the error means the disk, or the user's share of it, is full.
inline bool isDiskFull(int error)
{
    return error == ENOSPC || error == EDQUOT;
}

inline std::string frenchSystemError(int error)
{
    switch (error) {
    case EPERM:
        return "opération non permise";
    case ENOENT:
        return "fichier ou dossier introuvable";
    case EINTR:
        return "appel système interrompu";
    case EIO:
        return "erreur d'entrée-sortie";
    case ENXIO:
        return "périphérique ou adresse introuvable";
    case E2BIG:
        return "liste d'arguments trop longue";
    case ENOEXEC:
        return "format d'exécutable inconnu";
    case EBADF:
        return "descripteur de fichier invalide";
    case EAGAIN:
        return "ressource momentanément indisponible";
    case ENOMEM:
        return "mémoire insuffisante";
    case EACCES:
        return "permission refusée";
    case EBUSY:
        return "périphérique ou ressource occupé";
    case EEXIST:
        return "un fichier porte déjà ce nom";
    case EXDEV:
        return "lien impossible entre deux systèmes de fichiers";
    case ENODEV:
        return "périphérique introuvable";
    case ENOTDIR:
        return "un élément du chemin n'est pas un dossier";
    case EISDIR:
        return "c'est un dossier";
    case EINVAL:
        return "argument invalide";
    case ENFILE:
    case EMFILE:
        return "trop de fichiers ouverts";
    case ETXTBSY:
        return "fichier exécutable occupé";
    case EFBIG:
        return "fichier trop gros";
    case ENOSPC:
        return "le disque est plein";
    case EDQUOT:
        return "le disque est plein (quota atteint)";
    case ESPIPE:
        return "déplacement impossible dans ce fichier";
    case EROFS:
        return "système de fichiers en lecture seule";
    case EMLINK:
        return "trop de liens";
    case EPIPE:
        return "tube rompu";
    case ENAMETOOLONG:
        return "le nom est trop long";
    case ELOOP:
        return "trop de liens symboliques";
    case ENOTEMPTY:
        return "le dossier n'est pas vide";
    case ENOSYS:
        return "fonction non prise en charge par le système";
    case EOVERFLOW:
        return "valeur trop grande";
    case ETIMEDOUT:
        return "délai dépassé";
    case ECONNREFUSED:
        return "connexion refusée";
    case ESTALE:
        return "fichier réseau périmé";
    case EOPNOTSUPP:
        return "opération non prise en charge";
    case ECANCELED:
        return "opération annulée";
    default:
        return "erreur système n° " + std::to_string(error);
    }
}

} // namespace vellora
