// test_pch.h - the header every test program precompiles: GoogleTest and the standard headers
// that most tests include, parsed once per program instead of once per source.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>
