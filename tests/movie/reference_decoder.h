// A second decoder written straight from the format's description, byte by byte, with the
// printed pattern table: the fast decoder must agree with it on every well-formed record.
#pragma once

#include <cstdint>
#include <vector>

// Patterns parsed from the printed table: index code, 8 colour numbers.
std::vector<std::vector<uint8_t>> reference_patterns();
// Unpacks with the budget counter as described; returns the output.
std::vector<uint8_t> reference_lz_unpack(const uint8_t *source, int32_t length);
// Decodes 16000 codes with the colour list into 128000 bytes.
std::vector<uint8_t> reference_picture_decode(const uint8_t *colours, const uint8_t *codes);
