#pragma once
#include <QDialog>
#include <QString>

#include <cstdint>

namespace quolva::app { class WindowSet; }

namespace quolva::publish {

// The publish dialog: writes the open recording as an AVI or SWF movie.
class TForm6 : public QDialog {
    Q_OBJECT
public:
    explicit TForm6(app::WindowSet& windows);

    // What the main window hands over when it has opened a recording, and what it reads when it closes it.
    bool fileReady = false;
    std::int32_t frameCount = 0;  // N
    std::int32_t soundLength = 0; // L, sample frames
    std::int32_t soundRate = 0;   // R
    QString frameStorePath;
    bool swfExportStarted = false;
    // "删除临时文件" stands at "是".
    bool deletesTemporaryFiles() const { return deleteTemporaryFiles_; }

    // "打开文件": prepares the dialog on the recording the main window has just opened.
    void Button5Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    app::WindowSet& windows_;
    bool deleteTemporaryFiles_ = true;
};

} // namespace quolva::publish
