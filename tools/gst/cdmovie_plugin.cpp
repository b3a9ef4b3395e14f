// The plugin: the typefinder and the two elements, registered under GStreamer's usual ranks
// so that playbin and decodebin pick them by themselves.
#include "tools/gst/cdmovie.h"

GST_DEBUG_CATEGORY(cdmovie_debug);

static gboolean cdmovie_plugin_init(GstPlugin *plugin)
{
    GST_DEBUG_CATEGORY_INIT(cdmovie_debug, "cdmovie", 0, "demo CD movies");
    return cdmovie_typefind_register(plugin) &&
           gst_element_register(plugin, "cdmoviedemux", GST_RANK_PRIMARY,
                                cdmovie_demux_get_type()) &&
           gst_element_register(plugin, "cdmoviedec", GST_RANK_PRIMARY, cdmovie_dec_get_type());
}

#define PACKAGE "democd"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, cdmovie,
                  "Movies of the demo CD: frame records of block-coded pictures and 8-bit sound",
                  cdmovie_plugin_init, CDMOVIE_VERSION, "Proprietary", "democd",
                  "https://democd.invalid/")
