// Screen grab speed: median and 95th percentile of one grab at 640x480 and 1920x1080, by each grab
// method available on this display (MIT-SHM, GetImage, Qt's grab). Run on an X display:
//   scripts/with-rig.sh build/test/bin/bench_screen
// A screen smaller than a size is reported, and its whole screen is grabbed instead.

#include "platform/ArrowPointer.h"
#include "platform/Screen.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <vector>

using quolva::platform::Screen;

namespace {

struct Figures {
    double median, p95;
};

template <typename Work>
Figures measure(int rounds, Work work)
{
    std::vector<double> ms;
    work();  // first round: segment and image set up
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 95 / 100)]};
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QSize screenSize = Screen().size();
    std::printf("display %s, platform %s, screen %dx%d\n", qgetenv("DISPLAY").constData(),
                qPrintable(QGuiApplication::platformName()), screenSize.width(), screenSize.height());

    for (const QSize wanted : {QSize(640, 480), QSize(1920, 1080)}) {
        QSize size = wanted;
        if (size.width() > screenSize.width() || size.height() > screenSize.height()) {
            size = size.boundedTo(screenSize);
            std::printf("screen smaller than %dx%d: grabbing %dx%d instead\n", wanted.width(), wanted.height(),
                        size.width(), size.height());
        }
        const QRect rect(QPoint(0, 0), size);
        for (const auto method : {Screen::GrabMethod::XcbShm, Screen::GrabMethod::XcbGetImage, Screen::GrabMethod::QtScreen}) {
            try {
                Screen screen(method);
                QImage frame;
                const int rounds = method == Screen::GrabMethod::QtScreen ? 60 : 200;
                const Figures f = measure(rounds, [&] { screen.grab(rect, frame); });
                std::printf("grab %4dx%-4d %-20s median %7.3f ms  p95 %7.3f ms\n", size.width(), size.height(),
                            Screen::methodName(method), f.median, f.p95);
            } catch (const std::runtime_error& e) {
                std::printf("grab %4dx%-4d %-20s not available: %s\n", size.width(), size.height(),
                            Screen::methodName(method), e.what());
            }
        }
        QImage frame(size, QImage::Format_RGB32);
        frame.fill(Qt::gray);
        int step = 0;
        const Figures arrow = measure(1000, [&] {
            quolva::platform::drawArrowPointer(frame, QPoint(step % size.width(), step % size.height()));
            ++step;
        });
        std::printf("arrow pointer drawn into %dx%d: median %.4f ms  p95 %.4f ms\n", size.width(), size.height(),
                    arrow.median, arrow.p95);
    }
    return 0;
}
