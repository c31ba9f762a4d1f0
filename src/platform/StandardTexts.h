#pragma once

class QCoreApplication;

namespace quolva::platform {

// The texts of Qt's own dialogs and buttons (the file dialog, the colour dialog, "OK", "Cancel", "Yes",
// "No") in Chinese, as the rest of the interface, whatever the system's language. False when Qt's
// Chinese translation is not installed: those texts then stay in English.
bool useChineseStandardTexts(QCoreApplication& application);

} // namespace quolva::platform
