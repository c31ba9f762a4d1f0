#pragma once
// What GUI tests do with pictures of the screen: save them as screenshots, grab a window as the screen
// shows it, count the colours of a picture.
#include <QDir>
#include <QImage>
#include <QScreen>
#include <QSet>
#include <QString>
#include <QWidget>
#include <QtTest>

namespace quolva::test {

// Saves a picture into $QUOLVA_SCREENSHOT_DIR when it is set (scripts/screenshots.sh sets it).
inline void saveScreenshot(const QImage& picture, const QString& name)
{
    const QString folder = qEnvironmentVariable("QUOLVA_SCREENSHOT_DIR");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    QVERIFY2(picture.save(QDir(folder).filePath(name)), qPrintable(name));
}

// What the screen shows of a window (its client area).
inline QImage screenOf(QWidget& window)
{
    return window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// Distinct colours in a picture: a drawn picture has many, an empty one has one.
inline int distinctColours(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

} // namespace quolva::test
