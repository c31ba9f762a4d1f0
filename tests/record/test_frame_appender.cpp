// A still screen is recorded by repeating the previous record instead of encoding again: the frame store
// comes out byte for byte as if every picture had been encoded, whatever the run of still and changing
// pictures, and only the repeats are skipped.
#include "record/FrameAppender.h"
#include "record/Unit3.h"

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

using namespace quolva;

namespace {

// Picture `kind` of a scene: a busy background with a mark whose place `kind` gives.
QImage scene(int kind, QImage::Format format)
{
    QImage picture(320, 240, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb((x * 7 + y) & 255, (y * 3) & 255, (x ^ y) & 255));
    QPainter(&picture).fillRect(20 + kind * 9, 40, 6, 6, Qt::black); // one small change per kind
    return picture.convertToFormat(format);
}

QByteArray storeOf(const QString& path, const QList<int>& kinds, QImage::Format format, bool repeating, int* repeated)
{
    {
        store::FrameStore frames = store::FrameStore::CreateFrameStore(path.toStdString());
        record::FrameAppender appender;
        for (const int kind : kinds) {
            const QImage picture = scene(kind, format);
            if (repeating)
                appender.Append(frames, picture);
            else
                record::AppendCaptureBitmap(frames, picture);
        }
        *repeated = appender.repeated();
    } // closed
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class FrameAppenderTest : public QObject {
    Q_OBJECT
private slots:
    void repeatsOnlyStillPicturesAndWritesTheSameStore_data()
    {
        QTest::addColumn<QList<int>>("kinds");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("repeats");
        QTest::newRow("a still screen") << QList<int>{0, 0, 0, 0, 0} << int(QImage::Format_RGB32) << 4;
        QTest::newRow("every picture new") << QList<int>{0, 1, 2, 3} << int(QImage::Format_RGB32) << 0;
        QTest::newRow("still, a change, still again") << QList<int>{0, 0, 1, 1, 1, 0} << int(QImage::Format_RGB32) << 3;
        QTest::newRow("back to an earlier picture is not a repeat") << QList<int>{0, 1, 0} << int(QImage::Format_RGB32) << 0;
        QTest::newRow("24-bit pictures") << QList<int>{2, 2, 3, 3} << int(QImage::Format_RGB888) << 2;
        QTest::newRow("pictures of another depth are always encoded") << QList<int>{1, 1, 1} << int(QImage::Format_RGB16) << 0;
    }
    void repeatsOnlyStillPicturesAndWritesTheSameStore()
    {
        QFETCH(QList<int>, kinds);
        QFETCH(int, format);
        QFETCH(int, repeats);
        QTemporaryDir dir;
        int repeatedBy = 0, repeatedNot = 0;
        const QByteArray encodedEach = storeOf(dir.filePath(QStringLiteral("each.xxx")), kinds, QImage::Format(format), false, &repeatedNot);
        const QByteArray repeating = storeOf(dir.filePath(QStringLiteral("repeat.xxx")), kinds, QImage::Format(format), true, &repeatedBy);
        QVERIFY(encodedEach.size() > 16);
        QVERIFY2(repeating == encodedEach, "the stores differ");
        QCOMPARE(repeatedBy, repeats);
    }

    void aNewRecordingEncodesItsFirstPicture()
    {
        QTemporaryDir dir;
        store::FrameStore frames = store::FrameStore::CreateFrameStore(dir.filePath(QStringLiteral("a.xxx")).toStdString());
        record::FrameAppender appender;
        appender.Append(frames, scene(0, QImage::Format_RGB32));
        appender.Reset();
        appender.Append(frames, scene(0, QImage::Format_RGB32));
        QCOMPARE(appender.repeated(), 0);
    }
};

QTEST_MAIN(FrameAppenderTest)
#include "test_frame_appender.moc"
