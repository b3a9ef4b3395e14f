// Running the programs under test as a user does, from their command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CliRun {
    int status;      // the exit status, -1 when the program did not end by itself
    std::string out; // stdout and stderr together
};

// Runs a command line through the shell.
CliRun cli_run(const std::string &command_line);

// A whole file's bytes; empty when it cannot be read.
std::vector<uint8_t> cli_read_file(const std::string &path);
