// The plugin file's entry point, which GStreamer looks up when it loads the module.
#include "tools/gst/cdmovie.h"

#define PACKAGE "democd"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, cdmovie,
                  "Movies of the demo CD: frame records of block-coded pictures and 8-bit sound",
                  cdmovie_plugin_init, CDMOVIE_VERSION, "Proprietary", "democd",
                  "https://democd.invalid/")
