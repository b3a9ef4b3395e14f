// Random install trees built to lure the uninstall out of its folder: odd names, links in every
// position, folders where files belong, read-only files, FIFOs, names in every case, next to
// canary files outside. Each tree is uninstalled by the real menu on the headless windows and
// checked: outside it nothing changed, inside exactly the files the uninstall names went.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

// Where the choices come from: a seeded generator, or the bytes of a fuzz input (zeros once
// they run out).
struct AttackChoices {
    std::mt19937 *random;
    const uint8_t *data;
    size_t size;
    size_t at;
};

struct AttackFigures {
    size_t trees;
    size_t files;
    size_t links;
    size_t folders;
    size_t others; // FIFOs
    size_t names;  // distinct names made
    size_t deleted;
    size_t outside_entries;
};

// Builds one tree in a fresh temporary folder, runs the uninstall and checks it. With
// more_names, a second round then hands further names (from the choices) straight to the
// delete and search layer from inside the install folder and checks that nothing outside it
// changed. The empty string when all was well, else what went wrong. Leaves nothing behind.
std::string attack_run_tree(AttackChoices *choices, AttackFigures *figures, bool more_names);
