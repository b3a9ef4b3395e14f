// The uninstall on install trees that the input describes, then further names straight to the
// delete and search layer: no unlink ever aims outside the install folder, nothing outside it
// changes, and inside exactly the files the uninstall names go.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "tests/launcher/attack.h"

namespace
{

// The menu changes into the trees it works on; libFuzzer's own relative paths need its folder
// back after each run.
int own_folder = -1;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    own_folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    AttackChoices choices = {nullptr, data, size, 0};
    AttackFigures figures = {};
    std::string problem = attack_run_tree(&choices, &figures, true);
    if (own_folder >= 0 && fchdir(own_folder) != 0) std::abort();
    if (!problem.empty()) {
        std::fprintf(stderr, "uninstall attack: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
