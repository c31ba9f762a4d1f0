#pragma once
#include <QString>

class QWidget;

namespace quolva::app {

// The help file, "Zentra.chm" in the program's directory.
QString helpFilePath();

// Opens the help file through the desktop shell; tells the user when it is missing or cannot be opened.
void openHelpFile(QWidget* owner);

} // namespace quolva::app
