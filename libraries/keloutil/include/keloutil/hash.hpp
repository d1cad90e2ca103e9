// SPDX-License-Identifier: MIT
/// @file
/// Hash functions for integral keys, for C++ callers that build hash maps.
/// The string class brings its own, hash(const TStr&).
#ifndef KELOUTIL_HASH_HPP
#define KELOUTIL_HASH_HPP

#include <keloutil/export.h>

#include <cstdint>

/// The value's bit pattern (for a long wider than 32 bits: its low 32 bits).
KELOUTIL_API uint32_t hash(long value);
KELOUTIL_API uint32_t hash(int value);
/// The character sign-extended: the character 0xE9 hashes to 0xFFFFFFE9.
KELOUTIL_API uint32_t hash(char value);

#endif // KELOUTIL_HASH_HPP
