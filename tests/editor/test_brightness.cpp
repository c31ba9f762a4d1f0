// Brightness: the exact truncated products, factors applied to the snapshot (1.0 gives it back), pictures
// of any size, and the work file in a private folder that goes away with the tool.
#include "editor/Brightness.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtTest>

using quolva::editor::Brightness;

namespace {

QImage Busy(int w, int h)
{
    QImage picture(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            picture.setPixel(x, y, qRgb((x * 7 + y) % 256, (x * y) % 256, (255 - x + 3 * y) % 256));
    return picture;
}

} // namespace

class BrightnessTest : public QObject {
    Q_OBJECT

private slots:
    // The doubles nearest 1.4 and 0.3 lie just below them: the exact products are truncated below the
    // whole numbers that a rounded double product would reach (100 × 1.4 rounds to 140.0).
    void productsAreExactAndTruncated()
    {
        const struct {
            double factor;
            int red, green, blue;
        } cases[] = {
            {1.4, 255, 139, 13}, {0.3, 59, 29, 2}, {0.1, 20, 10, 1}, {1.0, 200, 100, 10},
            {2.0, 255, 200, 20}, {0.5, 100, 50, 5}, {1.2, 239, 119, 11}, {0.7, 139, 69, 6},
        };
        Brightness brightness;
        QImage pixel(1, 1, QImage::Format_RGB32);
        pixel.setPixel(0, 0, qRgb(200, 100, 10));
        brightness.Snapshot(pixel);
        for (const auto& c : cases) {
            const QRgb result = brightness.Step(c.factor, QSize(1, 1)).pixel(0, 0);
            QCOMPARE(qRed(result), c.red);
            QCOMPARE(qGreen(result), c.green);
            QCOMPARE(qBlue(result), c.blue);
        }
        for (int v = 0; v < 256; ++v) {
            QCOMPARE(Brightness::Scale(v, 1.0), v);
            QCOMPARE(Brightness::Scale(v, 2.0), std::min(255, 2 * v));
            QCOMPARE(Brightness::Scale(v, 0.5), v / 2);
            // Against long double products, exact for these operands on this machine.
            for (double f : Brightness::kFactors)
                QCOMPARE(Brightness::Scale(v, f), std::min(255, static_cast<int>(static_cast<long double>(v) * f)));
        }
        QCOMPARE(static_cast<int>(100 * 1.4), 140); // why the product must not be a rounded double
    }

    // Each factor applies to the snapshot, not to the last result: 1.0 after 0.1 restores it, and 1.2
    // twice is 1.2 once.
    void factorsApplyToTheSnapshot()
    {
        Brightness brightness;
        const QImage picture = Busy(37, 23);
        QCOMPARE(brightness.Step(1.0, picture.size()).pixel(5, 5) & 0xffffff, 0u); // before a snapshot: black
        brightness.Snapshot(picture);
        const QImage dark = brightness.Step(0.1, picture.size());
        QVERIFY(dark != picture);
        QCOMPARE(brightness.Step(1.0, picture.size()), picture);
        QCOMPARE(brightness.Step(1.2, picture.size()), brightness.Step(1.2, picture.size()));

        // A later, smaller snapshot replaces only its own pixels.
        QImage small(10, 10, QImage::Format_RGB32);
        small.fill(qRgb(0, 0, 200));
        brightness.Snapshot(small);
        const QImage mixed = brightness.Step(1.0, picture.size());
        QCOMPARE(mixed.pixel(3, 3), qRgb(0, 0, 200));
        QCOMPARE(mixed.pixel(30, 20), picture.pixel(30, 20));
        QCOMPARE(mixed.pixel(36, 22), picture.pixel(36, 22));
    }

    // No size limit: pictures wider than 6000 or taller than 3000 pixels are brightened whole.
    void anySizeIsBrightened()
    {
        for (const QSize size : {QSize(6100, 4), QSize(5, 3200)}) {
            Brightness brightness;
            QImage picture(size, QImage::Format_RGB32);
            picture.fill(qRgb(100, 50, 10));
            picture.setPixel(size.width() - 1, size.height() - 1, qRgb(200, 100, 10));
            brightness.Snapshot(picture);
            const QImage result = brightness.Step(1.4, size);
            QCOMPARE(result.size(), size);
            QCOMPARE(result.pixel(size.width() - 1, size.height() - 1), qRgb(255, 139, 13));
            QCOMPARE(result.pixel(0, 0), qRgb(139, 69, 13));
        }
    }

    // The result reaches the screen through "a.bmp" in a private folder of this run, which the tool
    // removes; two tools never share one.
    void workFileIsPrivateAndRemoved()
    {
        QString folder;
        {
            Brightness brightness;
            Brightness other;
            const QString path = brightness.WorkFilePath();
            QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("a.bmp"));
            folder = QFileInfo(path).absolutePath();
            QVERIFY(folder != QFileInfo(other.WorkFilePath()).absolutePath());
            const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
            QVERIFY2(runtime.isEmpty() || folder.startsWith(QDir(runtime).absolutePath()), qPrintable(folder));
            QCOMPARE(QFileInfo(folder).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup |
                                                         QFile::WriteOther | QFile::ExeGroup | QFile::ExeOther),
                     QFileDevice::Permissions());

            const QImage picture = Busy(64, 48);
            brightness.Snapshot(picture);
            const QImage shown = brightness.ShowResult(brightness.Step(0.7, picture.size()));
            QCOMPARE(shown, brightness.Step(0.7, picture.size()));
            QVERIFY(QFileInfo::exists(path)); // it stays while the program runs
        }
        QVERIFY2(!QFileInfo::exists(folder), qPrintable(folder));
    }
};

QTEST_MAIN(BrightnessTest)
#include "test_brightness.moc"
