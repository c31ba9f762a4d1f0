#include "editor/Brightness.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace quolva::editor {

const std::array<QString, 11> Brightness::kFactorTexts = {
    QStringLiteral("0.1"), QStringLiteral("0.3"), QStringLiteral("0.5"), QStringLiteral("0.7"),
    QStringLiteral("0.9"), QStringLiteral("1.0"), QStringLiteral("1.2"), QStringLiteral("1.4"),
    QStringLiteral("1.6"), QStringLiteral("1.8"), QStringLiteral("2.0")};
const QString Brightness::kWorkFileName = QStringLiteral("a.bmp");

Brightness::Brightness() = default;
Brightness::~Brightness() = default; // the work folder and its file go with it

void Brightness::Snapshot(const QImage& picture)
{
    if (picture.isNull())
        return;
    const QImage source = picture.convertToFormat(QImage::Format_RGB32);
    const int width = std::max(tableWidth_, source.width());
    const int height = std::max(tableHeight_, source.height());
    if (width != tableWidth_ || height != tableHeight_) {
        std::vector<QRgb> grown(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
        for (int y = 0; y < tableHeight_; ++y)
            std::copy_n(table_.begin() + static_cast<std::ptrdiff_t>(y) * tableWidth_, tableWidth_,
                        grown.begin() + static_cast<std::ptrdiff_t>(y) * width);
        table_ = std::move(grown);
        tableWidth_ = width;
        tableHeight_ = height;
    }
    for (int y = 0; y < source.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        QRgb* into = table_.data() + static_cast<std::ptrdiff_t>(y) * tableWidth_;
        for (int x = 0; x < source.width(); ++x)
            into[x] = row[x] & 0xffffffu;
    }
}

QRgb Brightness::SnapshotAt(int x, int y) const
{
    if (x < 0 || y < 0 || x >= tableWidth_ || y >= tableHeight_)
        return 0;
    return table_[static_cast<std::size_t>(y) * static_cast<std::size_t>(tableWidth_) + static_cast<std::size_t>(x)];
}

int Brightness::Scale(int value, double factor)
{
    if (value <= 0 || !(factor > 0))
        return 0;
    if (factor >= 256 || std::isinf(factor))
        return 255;
    // factor = mantissa × 2^exponent exactly, with a 53-bit whole mantissa; the product of an 8-bit
    // value and the mantissa fits 64 bits, so the product is exact before it is truncated.
    int exponent = 0; // factor < 256, so exponent <= 8 and the shift below is at least 45
    const double fraction = std::frexp(factor, &exponent);
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    const int shift = 53 - exponent;
    const std::uint64_t product = static_cast<std::uint64_t>(std::min(value, 255)) * mantissa;
    const std::uint64_t whole = shift >= 64 ? 0 : product >> shift;
    return static_cast<int>(std::min<std::uint64_t>(whole, 255));
}

QImage Brightness::Step(double factor, QSize size) const
{
    std::array<std::uint8_t, 256> scaled{};
    for (int v = 0; v < 256; ++v)
        scaled[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(Scale(v, factor));
    QImage picture(size, QImage::Format_RGB32);
    if (picture.isNull() && !size.isEmpty())
        throw std::runtime_error("没有足够的内存调整亮度");
    for (int y = 0; y < picture.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb v = SnapshotAt(x, y);
            row[x] = qRgb(scaled[qRed(v)], scaled[qGreen(v)], scaled[qBlue(v)]);
        }
    }
    return picture;
}

QString Brightness::WorkFilePath()
{
    if (!workFolder_) {
        QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (base.isEmpty() || !QDir().mkpath(base))
            base = QDir::tempPath();
        // A folder of this run only, readable by its user alone.
        auto folder = std::make_unique<QTemporaryDir>(QDir(base).filePath(QStringLiteral("quolva-XXXXXX")));
        if (!folder->isValid())
            throw std::runtime_error("无法建立工作文件夹 \"" + base.toStdString() + "\": " +
                                     folder->errorString().toStdString());
        workFolder_ = std::move(folder);
    }
    return workFolder_->filePath(kWorkFileName);
}

QImage Brightness::ShowResult(const QImage& picture)
{
    const QString path = WorkFilePath();
    if (!picture.save(path, "BMP"))
        throw std::runtime_error("无法写入工作文件 \"" + path.toStdString() + "\"");
    QImage shown;
    if (!shown.load(path, "BMP"))
        throw std::runtime_error("无法读取工作文件 \"" + path.toStdString() + "\"");
    return shown.convertToFormat(QImage::Format_RGB32);
}

} // namespace quolva::editor
