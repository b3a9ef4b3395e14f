// Every test process works in a folder of its own, made fresh when it starts and removed with
// everything in it when it ends: nothing a test writes lands in /tmp or under a name another
// test, or another run of the suite on the same machine, could use at the same time.
//
// The folder is made under TEST_TMPDIR when that is set, else under the build tree's test-tmp
// folder, and then named by TEST_TMPDIR (testing::TempDir()) and TMPDIR for the process and
// everything it starts. A process started by a test that already has one (a death test's child,
// a test program run by a test) keeps using it.
#pragma once

// Makes the folder (or takes over the inherited one) and arranges its removal at exit. Ends the
// process when no folder can be made.
void test_folder_enter();
// Removes the folder this process made, with everything in it, never through a link; nothing
// in a process that did not make it.
void test_folder_leave();
