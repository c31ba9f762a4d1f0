#pragma once
#include <QImage>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class QTemporaryDir;

namespace quolva::editor {

// The brightness tool: a snapshot of the picture on view, and pictures made from it by multiplying
// its red, green and blue values by a factor from a fixed list. Each factor applies to the snapshot,
// so 1.0 gives the snapshot back. The result reaches the screen through the work file "a.bmp" in a
// private folder of this program run, removed when the tool goes away.
class Brightness {
public:
    static constexpr std::array<double, 11> kFactors = {0.1, 0.3, 0.5, 0.7, 0.9, 1.0, 1.2, 1.4, 1.6, 1.8, 2.0};
    // PopupMenu2's items, in the order of kFactors.
    static const std::array<QString, 11> kFactorTexts;
    static const QString kWorkFileName; // "a.bmp"

    Brightness();
    ~Brightness();
    Brightness(const Brightness&) = delete;
    Brightness& operator=(const Brightness&) = delete;

    // Copies every pixel of the picture into the snapshot. The snapshot grows to any picture size and
    // keeps, outside the picture, what earlier snapshots put there (black before any).
    void Snapshot(const QImage& picture);
    // The snapshot's colour at (x, y), 0xRRGGBB.
    QRgb SnapshotAt(int x, int y) const;

    // One colour value times the factor: the exact product of the whole number and the double,
    // truncated toward zero, at most 255.
    static int Scale(int value, double factor);

    // The brightness picture: `size` pixels, each the snapshot's pixel scaled by `factor`.
    QImage Step(double factor, QSize size) const;

    // Show result: saves the picture as the work file and loads the picture to show from it.
    QImage ShowResult(const QImage& picture);

    // Where the work file lies (the folder is made on first use).
    QString WorkFilePath();

private:
    std::vector<QRgb> table_; // row by row, tableWidth_ × tableHeight_
    int tableWidth_ = 0;
    int tableHeight_ = 0;
    std::unique_ptr<QTemporaryDir> workFolder_;
};

} // namespace quolva::editor
