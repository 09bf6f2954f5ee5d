#pragma once

namespace palmota::cli {

// Readies the Qt platform that draws the printed sheets with no window shown, before the GUI
// application is made: where fonts come from and where no display need be present. Linux:
// offscreen (fontconfig's fonts, no X server or Wayland compositor needed). Windows: its own
// platform, whose font database is the system's, present in every session, a service's
// included.
void preparePdfPlatform();

}  // namespace palmota::cli
