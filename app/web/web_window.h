#pragma once
// The page's canvas as the one GLUT window, with the window program's callbacks
// except for Escape (web_window.cpp).

namespace plumfold {

// Sets up the canvas and starts the browser's event loop; returns to the page.
void runWebWindow();

}  // namespace plumfold
