// movtool-video: the video exporter movtool hands `movtool export MOVIE OUT.mkv|OUT.mp4|OUT.avi`
// to, so that only this program loads FFmpeg's libraries. Its arguments are exactly the movie
// and the output, never options: it is started by movtool, not by hand.
#include "platform/output.h"
#include "platform/standard_files.h"
#include "tools/movtool/export.h"
#include "tools/movtool/movtool.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (!standard_files_open_missing()) return 1;
    if (argc != 3 || !export_video_format(argv[2])) {
        movtool_error("usage: movtool export MOVIE OUT.mkv|OUT.mp4|OUT.avi (this program is "
                      "movtool's video exporter)");
        return 2;
    }
    int status = export_video(argv[1], argv[2]);
    if (output_close_stdout() != 0 && status == 0) {
        movtool_error("%s", output_error());
        status = 1;
    }
    return status;
}
