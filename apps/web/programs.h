// The programs of the page, each the entry of an in-page process, and where the page keeps the
// demo CD and the demo's drive C:.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The CD the page fetched from its own origin, read-only, as drive D:.
constexpr const char *WEB_CD_FOLDER = "/cd";
constexpr char WEB_CD_DRIVE = 'D';
// The Wine-style prefix kept in the browser's storage: system.reg and dosdevices/c:.
constexpr const char *WEB_PREFIX = "/prefix";

int32_t filmo_web_main(const std::vector<std::string> &args);
int32_t runner_web_main(const std::vector<std::string> &args);

// The CD's other programs as the page has them: set-up, DirectX set-up, the game, the
// uninstaller, the sound set-up, and the player under the name the menu starts it by.
void standins_register();
