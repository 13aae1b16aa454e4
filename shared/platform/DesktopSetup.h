#pragma once

class QApplication;

// What both programs set up on the desktop before their first window: Qt's texts in Chinese,
// the light palette the skin is drawn for, and the window icon.
class DesktopSetup
{
public:
    static void apply(QApplication &app);
};
