#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace vellora {

// "vellora-cover.jpg": the picture a share preview shows, 1200 × 630 pixels, no larger than
// 200 KB: page 1 whole, as large as it fits, on a neutral background.
constexpr int kCoverWidth = 1200;
constexpr int kCoverHeight = 630;
constexpr qsizetype kCoverLargestBytes = 200 * 1024;

// The cover as JPEG bytes for the picture of page 1 (a null image gives the background alone).
QByteArray coverJpeg(const QImage& firstPage);

// Writes the cover into `folder` (ending with its separator) from its page1.jpg, atomically.
// Throws EVellora "Impossible de créer le fichier <path>" (EDiskFull when the disk is full).
void WriteCoverImage(const QString& folder);

} // namespace vellora
