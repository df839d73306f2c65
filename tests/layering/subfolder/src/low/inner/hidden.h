// hidden.h - a floor header in a sub-folder that reaches up, which the layering check must report.
#pragma once

#include "high/roof.h"
