// lst_sort.h - the common in-place sort of the geometry code over records of any size, driven by a
// comparator. Its order among equal keys is part of the results downstream, so it is a fixed
// algorithm: shell sort below 10000 records, heap sort from 10000.
#pragma once

#include <cstddef>

// Returns a negative value when the record at a must come before the record at b. Only the test
// "below zero" is ever made on the result.
using LstCompare = int (*)(const void* a, const void* b);

// Sorts count records of size bytes at base in place. Counts below 18 get one insertion pass,
// which keeps equal records in input order; larger counts do not. Returns 1 (also for counts of
// 0 or 1 and negative counts); -20 (nothing changed) for a null base or compare, or size 0, with
// more than one record; -1 when the scratch record of a size above 256 bytes cannot be allocated.
int lstSort(void* base, int count, std::size_t size, LstCompare compare);

// As lstSort, and applies every move of a record of the first array to the record of the same
// index in the parallel array second (records of secondSize bytes). A null second or a
// secondSize of 0 makes it exactly lstSort. Results as lstSort.
int lstSortPaired(void* base, int count, std::size_t size, LstCompare compare, void* second,
                  std::size_t secondSize);
