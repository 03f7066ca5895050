#pragma once
// Byte strings written as hex for byte-exact expectations: "2D 01 01 00".

#include <cstddef>
#include <string>

std::string Hex(const char* text);
// The bytes of data as upper-case hex pairs separated by spaces.
std::string ToHex(const std::string& data);
// A digest as published: lower-case hex pairs, no separators.
std::string DigestHex(const unsigned char* p, size_t len);
