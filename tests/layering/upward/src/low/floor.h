// floor.h - a floor module that reaches up, which the layering check must report.
#pragma once

#include "high/roof.h"
