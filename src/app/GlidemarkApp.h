#pragma once
// The program's entry: picks the backend and the engine, then runs either the
// desktop application (tray icon, windows, HUD) or, when there is no display
// to show them on, the engine alone.
namespace gm::app {

// Whether a display (X11, Wayland, or Qt's offscreen platform) is there to run on.
bool hasDisplay(int argc, char** argv);

int runGlidemark(int argc, char** argv);

}  // namespace gm::app
