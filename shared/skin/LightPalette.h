#pragma once

#include <QPalette>

// The one palette both programs keep, whatever the desktop's colours. The skin draws the
// windows light with dark text; message boxes, file dialogs and tooltips take their ground
// from the palette, so a dark desktop palette would put the skin's dark text on a dark ground.
class LightPalette
{
public:
    static QPalette palette();
    // Makes it the application's palette and the tooltips' palette.
    static void apply();
};
