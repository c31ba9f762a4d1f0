#pragma once
// Helpers of the editing tests on the real main window.
#include "editor/Etool.h"

#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

namespace quolva::test {

// Frame 1 on view with the browser's counters in step and the cursor after it, whatever was browsed
// before: previous until frame 1, then forward over it when the cursor lies before it.
inline void toFrameOne(editor::TForm7& window)
{
    for (int i = 0; i < 3; ++i)
        window.ToolButton3->click();
    if (window.recording().cursorBeforeView)
        window.ToolButton2->click();
    QCOMPARE(window.Edit1->text(), QStringLiteral("1"));
    QCOMPARE(window.recording().displayedFrameStart, std::int64_t{16});
    QVERIFY(!window.recording().cursorBeforeView);
}

} // namespace quolva::test
