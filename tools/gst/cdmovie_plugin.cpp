// The plugin: the typefinder and the two elements, registered under GStreamer's usual ranks
// so that playbin and decodebin pick them by themselves.
#include "tools/gst/cdmovie.h"

GST_DEBUG_CATEGORY(cdmovie_debug);

gboolean cdmovie_plugin_init(GstPlugin *plugin)
{
    GST_DEBUG_CATEGORY_INIT(cdmovie_debug, "cdmovie", 0, "demo CD movies");
    return cdmovie_typefind_register(plugin) &&
           gst_element_register(plugin, "cdmoviedemux", GST_RANK_PRIMARY,
                                cdmovie_demux_get_type()) &&
           gst_element_register(plugin, "cdmoviedec", GST_RANK_PRIMARY, cdmovie_dec_get_type());
}
