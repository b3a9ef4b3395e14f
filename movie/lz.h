// LZ unpacker for the packed block-code stream of a frame record: control bytes whose top
// three bits pick a literal run or a copy from the output, low five bits part of the length.
#pragma once

#include <cstdint>

enum LzStatus : int32_t {
    LZ_OK = 0,
    LZ_TRUNCATED, // an instruction or its literals run past the packed length
    LZ_DISTANCE,  // a copy starts before the start of the output
    LZ_OVERFLOW,  // the output would leave the destination area
};

// Unpacks length bytes at source into dest (dest_size bytes). Stops before the first
// instruction that would break a limit, leaving what came before it; *written (when not null)
// gets the number of output bytes.
LzStatus lz_unpack(uint8_t *dest, int32_t dest_size, const uint8_t *source, int32_t length,
                   int32_t *written);
