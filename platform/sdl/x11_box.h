// A message box of our own on the X display: SDL's box needs a dialog program or a scalable core
// font that many machines lack, and forks the process to draw it. Drawn with the server's
// "fixed" font, which every X server has, on a connection of its own.
#pragma once

// Shows the box and returns once it was dismissed (OK, Enter, Space, Escape, the window's close
// button), or at SIGINT or SIGTERM, which are then raised again for the handlers that were in
// place. 0 when it was dismissed, 1 when a signal ended it; -1 when there is no X display or it
// cannot be drawn. Any thread.
int x11_box_show(const char *caption, const char *text);
