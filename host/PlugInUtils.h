#pragma once
// Host string blocks: 8-bit zero-terminated text in GlobalAlloc (GMEM_FIXED) memory,
// freed by whoever holds the pointer.

#include <string_view>

// Frees the old block (if any) and stores a new one holding Text and a zero byte.
// Raises EOSError when the block cannot be allocated (the old one is gone by then).
void SetHostString(char*& block, std::string_view text);
// Frees the block if there is one and clears the pointer.
void FreeHostString(char*& block);
