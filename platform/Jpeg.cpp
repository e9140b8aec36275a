#include "platform/Jpeg.h"

#include "platform/Exception.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace platform {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return:
// it jumps back to the decoder. Warnings (a truncated file is only one)
// go through output_message; the first text is kept so that the decoder
// can refuse the picture with it.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void OutputMessage(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (err->message[0] == '\0')
        (*cinfo->err->format_message)(cinfo, err->message);
}

// A damaged header can claim up to 65500 x 65500 pixels; pictures this
// program shows are far below this bound.
constexpr quint64 MaxPixels = 50'000'000;

// Everything the decoding touches after setjmp lives here, behind a pointer
// that does not change, so a longjmp leaves no object half-updated in a
// local and skips no destructor.
struct Decoding {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    QImage image;
    bool tooLarge = false;
};

bool Decode(Decoding* d, const unsigned char* data, unsigned long size)
{
    if (setjmp(d->err.jump))
        return false;

    jpeg_create_decompress(&d->cinfo);
    jpeg_mem_src(&d->cinfo, data, size);
    jpeg_read_header(&d->cinfo, TRUE);
    if (quint64(d->cinfo.image_width) * d->cinfo.image_height > MaxPixels) {
        d->tooLarge = true;
        return false;
    }
    d->cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d->cinfo);

    d->image = QImage(int(d->cinfo.output_width), int(d->cinfo.output_height), QImage::Format_RGB888);
    if (d->image.isNull() || d->cinfo.output_components != 3) {
        d->tooLarge = d->image.isNull();
        return false;
    }
    while (d->cinfo.output_scanline < d->cinfo.output_height) {
        JSAMPROW row = d->image.scanLine(int(d->cinfo.output_scanline));
        jpeg_read_scanlines(&d->cinfo, &row, 1);
    }
    jpeg_finish_decompress(&d->cinfo);
    return true;
}

} // namespace

QImage DecodeJpeg(const QByteArray& data)
{
    Decoding d;
    std::memset(&d.cinfo, 0, sizeof d.cinfo);
    d.err.message[0] = '\0';
    d.cinfo.err = jpeg_std_error(&d.err.pub);
    d.err.pub.error_exit = ErrorExit;
    d.err.pub.output_message = OutputMessage;

    const bool ok = Decode(&d, reinterpret_cast<const unsigned char*>(data.constData()),
                           static_cast<unsigned long>(data.size()));
    const long warnings = d.err.pub.num_warnings;
    jpeg_destroy_decompress(&d.cinfo);

    if (ok && warnings == 0)
        return d.image;
    QString reason = QString::fromLocal8Bit(d.err.message);
    if (d.tooLarge)
        reason = QStringLiteral("the picture is too large");
    else if (reason.isEmpty())
        reason = QStringLiteral("unsupported picture format");
    throw Exception(QStringLiteral("The JPEG picture cannot be decoded: %1").arg(reason));
}

QImage LoadJpegFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("The JPEG file %1 cannot be read: %2").arg(fileName, file.errorString()));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Exception(QStringLiteral("The JPEG file %1 cannot be read: %2").arg(fileName, file.errorString()));
    try {
        return DecodeJpeg(data);
    } catch (const Exception& e) {
        throw Exception(QStringLiteral("%1 (%2)").arg(e.Message(), fileName));
    }
}

} // namespace platform
