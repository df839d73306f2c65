// stray.cpp - a source file in src/ itself, outside every folder, which the layering check must
// report.
int strayValue() { return 1; }
