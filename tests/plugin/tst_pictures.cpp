// The toolbar's XPM pictures: sizes, palettes, transparency and the bar
// frame that tells a pressed picture from its plain one.

#include "vorexpictures.h"

#include <QImage>
#include <QPixmap>
#include <QSet>
#include <QtTest>

#include <vector>

using namespace VorexGUI;

namespace {

struct Picture
{
    const char* name;
    const char* const* xpm;
    int size;
    QSet<QRgb> palette; // opaque colours
};

QRgb rgb(int value)
{
    return qRgb((value >> 16) & 0xff, (value >> 8) & 0xff, value & 0xff);
}

const QRgb kGreen = rgb(0x00ff00);

std::vector<Picture> pictures()
{
    const QSet<QRgb> replay = {rgb(0x00aa00), rgb(0xaaaaaa), kGreen};
    const QSet<QRgb> pause = {rgb(0x187df8), kGreen};
    const QSet<QRgb> record = {rgb(0xaa0000), kGreen};
    const QSet<QRgb> continuousRecord = {rgb(0xaa0000), rgb(0xaaaaaa), kGreen};
    const QSet<QRgb> stop = {rgb(0x000000), kGreen};
    return {
        {"error", Pictures::Error, 18, {rgb(0x0000ff), rgb(0xffffff)}},
        {"stop", Pictures::Stop, 16, stop},
        {"stop pressed", Pictures::StopPressed, 16, stop},
        {"replay", Pictures::Replay, 18, replay},
        {"replay pressed", Pictures::ReplayPressed, 18, replay},
        {"continuous replay", Pictures::ContinuousReplay, 18, replay},
        {"continuous replay pressed", Pictures::ContinuousReplayPressed, 18, replay},
        {"pause", Pictures::Pause, 18, pause},
        {"pause pressed", Pictures::PausePressed, 18, pause},
        {"record", Pictures::Record, 18, record},
        {"record pressed", Pictures::RecordPressed, 18, record},
        {"continuous record", Pictures::ContinuousRecord, 18, continuousRecord},
        {"continuous record pressed", Pictures::ContinuousRecordPressed, 18, continuousRecord},
    };
}

QImage image(const char* const* xpm)
{
    return QPixmap(xpm).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool inFrameInterior(const QImage& img, int x, int y)
{
    return y >= img.height() - 3 && y <= img.height() - 2 && x >= 1 && x <= img.width() - 2;
}

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private slots:
    void sizesAndPalettes()
    {
        for (const Picture& picture : pictures()) {
            const QImage img = image(picture.xpm);
            QVERIFY2(!img.isNull(), picture.name);
            QCOMPARE(img.size(), QSize(picture.size, picture.size));
            QVERIFY2(qAlpha(img.pixel(0, 0)) == 0, picture.name); // "None"/"none" is transparent
            for (int y = 0; y < img.height(); ++y) {
                for (int x = 0; x < img.width(); ++x) {
                    const QRgb pixel = img.pixel(x, y);
                    if (qAlpha(pixel) == 0)
                        continue;
                    QVERIFY2(qAlpha(pixel) == 255 && picture.palette.contains(pixel | 0xff000000u),
                             qPrintable(QStringLiteral("%1 at %2,%3").arg(QLatin1String(picture.name)).arg(x).arg(y)));
                }
            }
        }
    }

    void pressedPicturesFillTheBarFrame()
    {
        const std::vector<Picture> all = pictures();
        // Every picture but the error one comes as a plain/pressed pair.
        for (std::size_t i = 1; i + 1 < all.size(); i += 2) {
            const QImage plain = image(all[i].xpm);
            const QImage pressed = image(all[i + 1].xpm);
            for (int y = 0; y < plain.height(); ++y) {
                for (int x = 0; x < plain.width(); ++x) {
                    if (inFrameInterior(plain, x, y)) {
                        QVERIFY2(qAlpha(plain.pixel(x, y)) == 0, all[i].name);
                        QVERIFY2(pressed.pixel(x, y) == (kGreen | 0xff000000u), all[i + 1].name);
                    } else {
                        QVERIFY2(qAlpha(plain.pixel(x, y)) == qAlpha(pressed.pixel(x, y)), all[i].name);
                    }
                }
            }
            // The frame around it is drawn.
            QVERIFY2(qAlpha(plain.pixel(0, plain.height() - 1)) == 255, all[i].name);
            QVERIFY2(qAlpha(plain.pixel(plain.width() - 1, plain.height() - 4)) == 255, all[i].name);
        }
    }

    void errorPictureIsAnInformationSign()
    {
        const QImage img = image(Pictures::Error);
        const QRgb blue = rgb(0x0000ff) | 0xff000000u;
        const QRgb white = rgb(0xffffff) | 0xff000000u;
        for (int y = 0; y < 18; ++y) {
            int opaque = 0;
            for (int x = 0; x < 18; ++x)
                opaque += qAlpha(img.pixel(x, y)) ? 1 : 0;
            QCOMPARE(opaque > 0, y >= 2 && y <= 15);
            if (y >= 7 && y <= 10) {
                QCOMPARE(opaque, 16);
                QCOMPARE(qAlpha(img.pixel(0, y)), 0);
                QVERIFY(qAlpha(img.pixel(1, y)) && qAlpha(img.pixel(16, y)));
            }
        }
        for (int y : {4, 5, 8, 9, 10, 11, 12, 13}) {
            QCOMPARE(img.pixel(8, y), white);
            QCOMPARE(img.pixel(9, y), white);
        }
        for (int y : {6, 7})
            QCOMPARE(img.pixel(8, y), blue);
        QCOMPARE(img.pixel(7, 9), blue);
    }

    void stopPictureShape()
    {
        const QImage img = image(Pictures::Stop);
        int black = 0;
        QRect box;
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < 16; ++x) {
                if (qAlpha(img.pixel(x, y))) {
                    ++black;
                    box |= QRect(x, y, 1, 1);
                }
            }
        }
        QCOMPARE(box.size(), QSize(12, 10));
        QCOMPARE(black, 120);
    }
};

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
