// The menu's texts: fixed-width tables of four rows (German, English, two empty ones), each row a
// terminated code page 1252 string, chosen by the language index.
#pragma once

#include <cstdint>

enum TextTable : int32_t {
    TEXT_PLAY,
    TEXT_INSTALL,
    TEXT_SOUND_CONFIG,
    TEXT_UNINSTALL,
    TEXT_README,
    TEXT_EXIT,
    TEXT_BACK,
    TEXT_DIRECTX_SETUP,
    TEXT_TRAILER,
    TEXT_UNINSTALL_QUESTION,
    TEXT_TABLE_COUNT,
};

constexpr int32_t TEXT_ROWS = 4;

// The row of the table at the language index; an index outside 0 to 3 (the unset -1 included)
// selects no row and gives the empty text.
const char *texts_get(TextTable table, int32_t language);
// Row width of a table in bytes, terminator included.
int32_t texts_row_width(TextTable table);
