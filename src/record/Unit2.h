#pragma once
#include <QWidget>

namespace quolva::app { class WindowSet; }

namespace quolva::record {

// The viewfinder: its client area is the capture region.
class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(app::WindowSet& windows);
};

} // namespace quolva::record
