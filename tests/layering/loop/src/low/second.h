// second.h - one of two modules that include each other, which the layering check must report.
#pragma once

int secondValue();
