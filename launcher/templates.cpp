#include "launcher/templates.h"

namespace
{

constexpr uint32_t BUTTON = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr uint32_t DEFAULT_BUTTON = WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON;

// Sizes and places of the menu's buttons are set by the layout at start-up; the template only
// needs them somewhere sensible until then. Texts are replaced from the text tables.
const DialogControl runner_controls[] = {
    {DIALOG_BUTTON, ID_PLAY, "Starte DEMO", BUTTON, 0, 1, 2, 79, 18},
    {DIALOG_BUTTON, ID_INSTALL, "Installiere", BUTTON, 0, 81, 2, 79, 18},
    {DIALOG_BUTTON, ID_SETUP, "Installiere DirectX", BUTTON, 0, 161, 2, 79, 18},
    {DIALOG_BUTTON, ID_UNINSTALL, "L\xF6sche DEMO", BUTTON, 0, 1, 21, 79, 18},
    {DIALOG_BUTTON, ID_README, "Hinweise", BUTTON, 0, 81, 21, 79, 18},
    {DIALOG_BUTTON, ID_EXIT, "Ende", BUTTON, 0, 161, 21, 79, 18},
    {DIALOG_BUTTON, ID_TRAILER, "Trailer", BUTTON, 0, 1, 221, 239, 18},
};

const DialogControl readme_controls[] = {
    {DIALOG_EDIT, ID_README_TEXT, "",
     WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY, 0, 7, 7, 343,
     199},
    {DIALOG_BUTTON, ID_BACK, "Zur\374ck", DEFAULT_BUTTON, 0, 122, 213, 105, 15},
};

const DialogControl about_controls[] = {
    {DIALOG_BUTTON, ID_BACK, "Zur\374ck", DEFAULT_BUTTON, 0, 40, 50, 50, 14},
    {DIALOG_STATIC, ID_UNNAMED, "Runner", WS_VISIBLE, 0, 50, 15, 40, 8},
    {DIALOG_STATIC, ID_UNNAMED, "Demo CD menu", WS_VISIBLE, 0, 30, 35, 70, 8},
    {DIALOG_ICON, ID_UNNAMED, "158", WS_VISIBLE | SS_ICON, WS_EX_CLIENTEDGE, 5, 10, 22, 19},
    {DIALOG_ICON, ID_UNNAMED, "158", WS_VISIBLE | SS_ICON, WS_EX_CLIENTEDGE, 105, 10, 22, 19},
};

} // namespace

const DialogTemplate template_runner = {
    "RUNNER",
    WS_POPUP | WS_CAPTION | WS_SYSMENU,
    0,
    0,
    240,
    239,
    "Zenthor DEMO",
    "System",
    10,
    runner_controls,
    sizeof runner_controls / sizeof runner_controls[0],
};

const DialogTemplate template_readme = {
    "README",
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    0,
    0,
    357,
    235,
    "README.TXT",
    "Courier New",
    8,
    readme_controls,
    sizeof readme_controls / sizeof readme_controls[0],
};

const DialogTemplate template_about = {
    "ABOUT",
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    0,
    0,
    135,
    73,
    "About",
    "Times New Roman",
    10,
    about_controls,
    sizeof about_controls / sizeof about_controls[0],
};
