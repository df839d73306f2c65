// memory.h - the four heap functions every framework module allocates through.
// Texts handed between modules are copies made here and freed by the receiver with memFree.
#pragma once

#include <cstddef>

// Allocates size bytes filled with zero. Returns null when memory runs out (or size is 0).
void* memAllocZero(std::size_t size);

// Reallocates p to size bytes (allocates when p is null). Bytes past the old size are not
// cleared. Returns null when memory runs out; p is then still valid and unchanged.
void* memRealloc(void* p, std::size_t size);

// Copies text into a block two bytes longer than the text. Null for a null text or when memory
// runs out.
char* memStrDup(const char* text);

// Frees a block of the three functions above; accepts null.
void memFree(void* p);

// Test seam: the n-th allocation from now (1 = the next one) fails, then allocation works again.
// n = 0 switches the failure off. Covers memAllocZero, memRealloc and memStrDup.
void memTestFailAt(long n);
// Test seam: no failure pending, as at load.
void memResetState();
