// The uninstall against hundreds of random install trees (seeded: ATTACK_SEED and ATTACK_TREES
// change the run). Every tree: nothing outside the install folder changed, inside exactly the
// listed files went, and no unlink was ever aimed outside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tests/launcher/attack.h"
#include "tests/launcher/sandbox.h"
#include "tests/launcher/unlink_guard.h"

namespace
{

uint32_t from_env(const char *name, uint32_t fallback)
{
    const char *text = std::getenv(name);
    return text && *text ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : fallback;
}

TEST(UninstallTrees, NothingOutsideChangesAndInsideExactlyTheListedFilesGo)
{
    uint32_t seed = from_env("ATTACK_SEED", 20261208);
    uint32_t trees = from_env("ATTACK_TREES", 300);
    std::mt19937 random(seed);
    AttackChoices choices = {&random, nullptr, 0, 0};
    AttackFigures figures = {};
    int failures = 0;
    for (uint32_t i = 0; i < trees && failures < 5; i++) {
        std::string problem = attack_run_tree(&choices, &figures, i % 2 == 1);
        if (!problem.empty()) {
            ADD_FAILURE() << "tree " << i << " of seed " << seed << ": " << problem;
            failures++;
        }
    }
    std::printf("%zu trees: %zu files, %zu links, %zu folders, %zu FIFOs, %zu names; %zu "
                "deleted inside; %zu canaries outside each tree\n",
                figures.trees, figures.files, figures.links, figures.folders, figures.others,
                figures.names, figures.deleted,
                figures.outside_entries / std::max<size_t>(figures.trees, 1));
    // Trees that delete nothing would prove nothing.
    EXPECT_GT(figures.deleted, figures.trees);
    EXPECT_GT(figures.links, figures.trees);
}

TEST(UninstallTrees, TheGuardRefusesAndReportsAnUnlinkOutsideItsFolder)
{
    Sandbox box = sandbox_make();
    write_file(box.outside / "keep.txt", "keep");
    write_file(box.drive_c / "go.txt", "go");
    unlink_guard_arm(fs::canonical(box.drive_c).string());
    EXPECT_NE(unlink((box.outside / "keep.txt").c_str()), 0);
    EXPECT_EQ(unlink((box.drive_c / "go.txt").c_str()), -1); // a path, not a folder + name
    ASSERT_EQ(chdir(box.drive_c.c_str()), 0);
    write_file(box.drive_c / "go.txt", "go");
    EXPECT_EQ(unlink("go.txt"), 0);
    unlink_guard_disarm();
    EXPECT_EQ(unlink_guard_violations().size(), 2u);
    EXPECT_EQ(unlink_guard_removed(), 1u);
    EXPECT_TRUE(fs::exists(box.outside / "keep.txt"));
    sandbox_remove(box);
}

} // namespace
