#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// JPEG pictures decoded with libjpeg into RGB888 images. A picture that is
// damaged in any way, truncated ones included, raises Exception with a
// readable text rather than giving a partly grey image.
namespace platform {

QImage DecodeJpeg(const QByteArray& data);

// Reads the file (Qt resource paths work too) and decodes it.
QImage LoadJpegFile(const QString& fileName);

} // namespace platform
