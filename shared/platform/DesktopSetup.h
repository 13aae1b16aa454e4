#pragma once

class QApplication;

// What both programs set up on the desktop before their first window: Qt's texts in Chinese,
// the light palette the skin is drawn for, the window icon and the desktop entry they belong to.
class DesktopSetup
{
public:
    static void apply(QApplication &app);
};
