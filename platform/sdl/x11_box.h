// A message box of our own on the X display, for when SDL cannot show its box (it needs a
// dialog program or a scalable core font that many machines lack). Drawn with the server's
// "fixed" font, which every X server has.
#pragma once

// Shows the box and returns once it was dismissed (OK, Enter, Space, Escape, the window's close
// button), or at SIGINT or SIGTERM, which are then raised again for the handlers that were in
// place. 0 when it was shown; -1 when there is no X display or it cannot be drawn. Any thread.
int x11_box_show(const char *caption, const char *text);
