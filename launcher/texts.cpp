#include "launcher/texts.h"

namespace
{

// Rows are stored one after another at their full width, as the tables were laid out; the
// German rows hold their umlauts and sharp s as single bytes of code page 1252.
const char text_play[TEXT_ROWS][20] = {"Starte DEMO", "Play DEMO", "", ""};
const char text_install[TEXT_ROWS][20] = {"Installiere", "Install", "", ""};
const char text_sound_config[TEXT_ROWS][20] = {"Sound-Konfiguration", "Sound config", "", ""};
const char text_uninstall[TEXT_ROWS][20] = {"L\xF6sche DEMO", "Uninstall DEMO", "", ""};
const char text_readme[TEXT_ROWS][20] = {"Hinweise", "Readme", "", ""};
const char text_exit[TEXT_ROWS][20] = {"Ende", "Exit", "", ""};
const char text_back[TEXT_ROWS][20] = {"Zur\374ck", "Back", "", ""};
const char text_directx_setup[TEXT_ROWS][20] = {"Installiere DirectX", "DirectX Install", "", ""};
const char text_trailer[TEXT_ROWS][40] = {"Zenthor - Trailer", "Zenthor - Trailer", "", ""};
const char text_uninstall_question[TEXT_ROWS][80] = {
    "Sind Sie sicher, da\xDF Sie die Demo\nvom Zenthor l\xF6schen wollen?",
    "You really want to delete\nZenthor Demo?", "", ""};

struct TableEntry {
    const char *rows;
    int32_t width;
};

const TableEntry tables[TEXT_TABLE_COUNT] = {
    {&text_play[0][0], 20},         {&text_install[0][0], 20},
    {&text_sound_config[0][0], 20}, {&text_uninstall[0][0], 20},
    {&text_readme[0][0], 20},       {&text_exit[0][0], 20},
    {&text_back[0][0], 20},         {&text_directx_setup[0][0], 20},
    {&text_trailer[0][0], 40},      {&text_uninstall_question[0][0], 80},
};

} // namespace

const char *texts_get(TextTable table, int32_t language)
{
    if (table < 0 || table >= TEXT_TABLE_COUNT || language < 0 || language >= TEXT_ROWS) return "";
    return tables[table].rows + tables[table].width * language;
}

int32_t texts_row_width(TextTable table)
{
    if (table < 0 || table >= TEXT_TABLE_COUNT) return 0;
    return tables[table].width;
}
