#!/bin/sh
# Runs one test command in a fresh folder of its own, named by TEST_TMPDIR and TMPDIR, and
# removes the folder with whatever the test left in it (never through a link); the command's
# exit status is the test's. The folder is made in BASE, under the build tree.
#   in_test_folder.sh BASE COMMAND [ARG...]
base=$1
shift
mkdir -p "$base" && folder=$(mktemp -d "$base/t.XXXXXX") || exit 1
TEST_TMPDIR=$folder TEST_FOLDER=$folder TMPDIR=$folder "$@"
status=$?
chmod -R u+rwx "$folder" 2>/dev/null
rm -rf "$folder"
exit $status
