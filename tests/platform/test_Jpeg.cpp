#include "platform/Jpeg.h"

#include "platform/Exception.h"

#include <QFile>

#include <gtest/gtest.h>

using platform::DecodeJpeg;
using platform::LoadJpegFile;

namespace {

const QString Resources = QStringLiteral(VYN_TEST_DATA_DIR "/../../resources/");
const QString Data = QStringLiteral(VYN_TEST_DATA_DIR "/data/");

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

bool Near(QColor a, QColor b)
{
    return qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 && qAbs(a.blue() - b.blue()) < 40;
}

// The decoder's refusal text, or an empty text when it decoded.
QString RefusalOf(const QByteArray& data)
{
    try {
        DecodeJpeg(data);
    } catch (const Exception& e) {
        return e.Message();
    }
    return QString();
}

} // namespace

TEST(Jpeg, OurPicturesDecodeToTheirSizeAndColours)
{
    const QImage main = LoadJpegFile(Resources + "vyn_main.jpg");
    EXPECT_EQ(main.size(), QSize(400, 225));
    EXPECT_EQ(main.format(), QImage::Format_RGB888);
    // The thermometer bulb is button orange, the background light.
    EXPECT_TRUE(Near(main.pixelColor(57, 173), QColor(0xF8, 0x73, 0x11)));
    EXPECT_TRUE(Near(main.pixelColor(200, 20), QColor(0xFF, 0xE6, 0xC0)));

    const QImage wizard = LoadJpegFile(Resources + "vyn_wizard.jpg");
    EXPECT_EQ(wizard.size(), QSize(170, 233));
}

TEST(Jpeg, CmykPicturesAreRefusedWithAReason)
{
    // libjpeg cannot turn CMYK into RGB; say so rather than show rubbish.
    const QString why = RefusalOf(ReadAll(Data + "cmyk.jpg"));
    EXPECT_TRUE(why.contains(QStringLiteral("Unsupported color conversion"))) << why.toStdString();
}

TEST(Jpeg, TruncatedPicturesAreRefused)
{
    const QByteArray whole = ReadAll(Resources + "vyn_main.jpg");
    ASSERT_TRUE(RefusalOf(whole).isEmpty());
    for (qsizetype cut : {whole.size() - 2, whole.size() / 2, qsizetype(700), qsizetype(200), qsizetype(2)}) {
        const QString why = RefusalOf(whole.left(cut));
        EXPECT_TRUE(why.startsWith(QStringLiteral("The JPEG picture cannot be decoded: "))) << cut << " " << why.toStdString();
    }
    EXPECT_TRUE(RefusalOf(whole.left(whole.size() / 2)).contains(QStringLiteral("Premature end")));
}

TEST(Jpeg, DamagedAndForeignDataIsRefused)
{
    EXPECT_FALSE(RefusalOf(QByteArray()).isEmpty());
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 2654435761u) >> 13));
    EXPECT_FALSE(RefusalOf(garbage).isEmpty());
    EXPECT_FALSE(RefusalOf(QByteArray("\x89PNG\r\n\x1a\n", 8) + garbage).isEmpty());
    // A JPEG start followed by noise.
    EXPECT_FALSE(RefusalOf(QByteArray("\xFF\xD8\xFF\xE0", 4) + garbage).isEmpty());

    // Noise in the middle of the compressed data.
    QByteArray damaged = ReadAll(Resources + "vyn_main.jpg");
    for (qsizetype i = damaged.size() / 2; i < damaged.size() / 2 + 64; ++i)
        damaged[i] = char(0xFF - (i & 0x0F));
    EXPECT_FALSE(RefusalOf(damaged).isEmpty());
}

TEST(Jpeg, HugeClaimedSizeIsRefusedWithoutAllocating)
{
    QByteArray data = ReadAll(Resources + "vyn_main.jpg");
    const qsizetype sof = data.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    // Height and width follow the marker, its length and the precision:
    // 65280 x 65280 is within what libjpeg accepts.
    for (int i = 5; i < 9; i += 2) {
        data[sof + i] = char(0xFF);
        data[sof + i + 1] = char(0x00);
    }
    EXPECT_TRUE(RefusalOf(data).contains(QStringLiteral("too large"))) << RefusalOf(data).toStdString();
}
