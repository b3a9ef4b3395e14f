// Windows code page 1252, the single-byte character set of every text the programs keep, and
// its conversion to and from Unicode for the screen, the keyboard and host file names.
#pragma once

#include <cstdint>
#include <string>

// The character of a byte; U+FFFD for the five bytes the code page leaves unassigned.
uint32_t cp1252_to_unicode(unsigned char byte);
// The byte of a character, or -1 when the code page has none.
int32_t cp1252_from_unicode(uint32_t code_point);

// One character of the Basic Multilingual Plane appended to out in UTF-8.
void cp1252_append_utf8(std::string *out, uint32_t code_point);
// The character at *at of utf8 (at < its size); false for a malformed or overlong sequence.
// *at moves past the sequence, or on a malformed one past the bytes its first byte claims (one
// for a byte that starts none), so that a reader can go on after it.
bool cp1252_next_utf8(const std::string &utf8, size_t *at, uint32_t *code_point);

// Text in UTF-8; an unassigned byte becomes U+FFFD.
std::string cp1252_to_utf8(const std::string &text);
// False, leaving *text alone, for input that is not well-formed UTF-8 (overlong forms included,
// so that two spellings never name one file) or holds a character the code page lacks.
bool cp1252_from_utf8(const std::string &utf8, std::string *text);
