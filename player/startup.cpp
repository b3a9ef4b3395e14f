#include "platform/clock.h"
#include "platform/cmdline.h"
#include "platform/readfile.h"
#include "player/player.h"
#include "player/window.h"
#include "present/display.h"
#include "present/sound.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const char *playlist[PLAYLIST_MAX];
int32_t playlist_length;
int32_t playback_abandoned;

static char command_line_buffer[COMMAND_LINE_BYTES];

static int32_t file_opens(const char *name)
{
    if (!name[0]) return 0;
    FILE *f = readfile_open(name);
    if (!f) return 0;
    fclose(f);
    return 1;
}

void playlist_build(const char *command_line)
{
    // A longer line is cut to the buffer.
    snprintf(command_line_buffer, sizeof command_line_buffer, "%s",
             command_line ? command_line : "");
    char *line = command_line_buffer;
    size_t length = strlen(line);
    if (length > 0 && line[0] == '"') {
        memmove(line, line + 1, length); // with the final zero
        length--;
        // Cut at the last quote: it and everything behind it go.
        size_t i = length;
        while (i > 0 && line[i - 1] != '"')
            i--;
        line[i > 0 ? i - 1 : 0] = 0;
    }
    if (!line[0]) snprintf(line, sizeof command_line_buffer, "%s", "tv.mov");

    // Every name is tested, and the first PLAYLIST_MAX that open are kept: names beyond the
    // list's room are ignored rather than written past it.
    playlist_length = 0;
    char *name = line;
    for (char *p = line;; p++) {
        int32_t end = *p == 0;
        if (*p == ' ' || end) {
            *p = 0;
            if (playlist_length < PLAYLIST_MAX && file_opens(name))
                playlist[playlist_length++] = name;
            name = p + 1;
        }
        if (end) break;
    }
}

void playlist_build_args(int32_t count, const char *const *names)
{
    static const char *const default_name[] = {"tv.mov"};
    if (count <= 0 || !names) {
        count = 1;
        names = default_name;
    }
    // The names kept are copied one after the other into the buffer, each with its zero, as the
    // split line would hold them; the first PLAYLIST_MAX that open are kept.
    playlist_length = 0;
    size_t used = 0;
    for (int32_t i = 0; i < count && playlist_length < PLAYLIST_MAX; i++) {
        const char *name = names[i] ? names[i] : "";
        size_t length = strlen(name);
        size_t room = sizeof command_line_buffer - used;
        if (length >= room) {
            notice_box("Movie name too long for the command line (%lu bytes, %lu left), skipped: "
                       "%.60s...",
                       (unsigned long)length, (unsigned long)(room > 0 ? room - 1 : 0), name);
            continue;
        }
        if (!file_opens(name)) continue;
        char *kept = command_line_buffer + used;
        memcpy(kept, name, length + 1);
        used += length + 1;
        playlist[playlist_length++] = kept;
    }
}

// Allocation failures after start-up has begun are reported as the reader reports its own.
static void *allocate(size_t bytes)
{
    void *p = malloc(bytes);
    if (!p) fatal_error_box("no mem error 01");
    return p;
}

void player_cleanup()
{
    // A thread that did not end may still use the slots and the sound: leave them to the
    // process end.
    if (!playback_abandoned) sound_shutdown();
    window_show_cursor(1);
    if (!playback_abandoned) {
        free(display_colour_table);
        display_colour_table = nullptr;
        for (FrameSlot &slot : frame_slots) {
            free(slot.picture);
            free(slot.palette);
            free(slot.sound);
            slot = FrameSlot{};
        }
    }
    display_shutdown();
}

int32_t player_main(const char *command_line)
{
    CmdlineArgs args{command_line ? command_line : "", 0, nullptr};
    return player_run(&args);
}

// The playlist, the sound, the screen in 320x200 (else 640x480) and the frame slots: 0 when the
// screen could not be set up (said in its box, the window and the sound gone again).
static int32_t player_start(const CmdlineArgs *args)
{
    if (args->line)
        playlist_build(args->line);
    else
        playlist_build_args(args->count, args->names);
    if (playlist_length == 0) fatal_error_box("Could not open any video ");
    sound_init();

    display_set_mode(320, 200, 2);
    int32_t first = display_init();
    if (first != 0) {
        display_set_mode(640, 480, 2);
        int32_t second = display_init();
        if (second != 0) {
            notice_box("Konnte den Grafikmodus nicht initialisieren (Errorcode %d/%d)", first,
                       second);
            window_destroy(player_window.load());
            sound_shutdown();
            return 0;
        }
    }
    display_set_target(display_offscreen);
    window_show(player_window.load());
    display_clear();

    for (FrameSlot &slot : frame_slots) {
        slot.picture = (uint8_t *)allocate(FRAME_PICTURE_BYTES);
        slot.palette = (uint8_t *)allocate(FRAME_PALETTE_BYTES);
        slot.sound = (uint8_t *)allocate(FRAME_SOUND_BYTES);
    }
    display_colour_table = (uint32_t *)allocate(256 * sizeof(uint32_t));
    memset(display_colour_table, 0, 256 * sizeof(uint32_t));
    window_show_cursor(0);
    return 1;
}

// Round and round the playlist until a movie ends the player. A whole turn of the ring in which
// no movie showed anything ends it too: otherwise a playlist of movies too short to play would
// turn forever.
static void player_play_ring()
{
    int32_t i = 0, idle = 0;
    for (;;) {
        int32_t result = play_movie(playlist[i]);
        if (result == PLAY_NOTHING) {
            if (++idle >= playlist_length) break;
        } else if (result != PLAY_GO_ON) {
            break;
        } else {
            idle = 0;
        }
        if (++i == playlist_length) i = 0;
    }
}

int32_t player_run(const CmdlineArgs *args)
{
    playback_abandoned = 0;
    player_window_reset();
    display_offscreen = (uint8_t *)malloc(DISPLAY_OFFSCREEN_BYTES);
    if (!display_offscreen) return 0;
    if (player_window_create() && player_start(args)) {
        player_play_ring();
        window_show_cursor(1);
        player_cleanup();
    }
    // A thread that did not end may still draw into it: leave it to the process end.
    if (!playback_abandoned) {
        free(display_offscreen);
        display_offscreen = nullptr;
    }
    return 0;
}
