#include "platform/Jpeg.h"

#include "platform/Exception.h"

#include "TestFiles.h"


#include <gtest/gtest.h>

#include <tuple>

using platform::DecodeJpeg;
using platform::LoadJpegFile;

namespace {

const QString Resources = QStringLiteral(VYN_TEST_DATA_DIR "/../../resources/");

bool Near(QColor a, QColor b)
{
    return qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 && qAbs(a.blue() - b.blue()) < 40;
}

} // namespace

TEST(Jpeg, OurPicturesDecodeAndDamagedForeignCmykOrHugeOnesAreRefusedWithAReason)
{
    const QByteArray whole = readFile(Resources + "vyn_main.jpg");
    const QImage main = DecodeJpeg(whole);
    EXPECT_EQ(main.size(), QSize(400, 225));
    EXPECT_EQ(main.format(), QImage::Format_RGB888);
    // The thermometer bulb is button orange, the background light.
    EXPECT_TRUE(Near(main.pixelColor(57, 173), QColor(0xF8, 0x73, 0x11)));
    EXPECT_TRUE(Near(main.pixelColor(200, 20), QColor(0xFF, 0xE6, 0xC0)));
    EXPECT_EQ(LoadJpegFile(Resources + "vyn_wizard.jpg").size(), QSize(170, 233));

    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 2654435761u) >> 13));
    QByteArray noisy = whole;
    for (qsizetype i = whole.size() / 2; i < whole.size() / 2 + 64; ++i)
        noisy[i] = char(0xFF - (i & 0x0F));
    // Height and width follow the frame marker, its length and the
    // precision: 65280 x 65280 is within what libjpeg accepts.
    QByteArray huge = whole;
    const qsizetype sof = whole.indexOf(QByteArray("\xFF\xC0", 2));
    huge.replace(sof + 5, 4, QByteArray("\xFF\x00\xFF\x00", 4));
    // what, bytes, part of the reason
    const std::tuple<const char*, QByteArray, const char*> rows[] = {
        {"empty", QByteArray(), ""},
        {"noise", garbage, ""},
        {"a PNG", QByteArray("\x89PNG\r\n\x1a\n", 8) + garbage, ""},
        {"a JPEG start and noise", QByteArray("\xFF\xD8\xFF\xE0", 4) + garbage, ""},
        {"noise inside", noisy, ""},
        {"end marker cut", whole.left(whole.size() - 2), ""},
        {"cut in half", whole.left(whole.size() / 2), "Premature end"},
        {"cut at 2", whole.left(2), ""},
        {"CMYK", readFile(QStringLiteral(VYN_TEST_DATA_DIR "/data/cmyk.jpg")), "Unsupported color conversion"},
        {"huge", huge, "too large"},
    };
    for (const auto& [what, data, reason] : rows) {
        SCOPED_TRACE(what);
        try {
            DecodeJpeg(data);
            ADD_FAILURE() << "decoded";
        } catch (const Exception& e) {
            EXPECT_TRUE(e.Message().startsWith(QStringLiteral("The JPEG picture cannot be decoded: ")))
                << e.Message().toStdString();
            EXPECT_TRUE(e.Message().contains(QLatin1String(reason))) << e.Message().toStdString();
        }
    }
}
