// tilt_sideways_stub.h - the sideways tilt of the five-axis tool-axis control as the spiral
// transitions call it. The five-axis subsystem is not part of the library yet: this stand-in
// always fails, so a spiral with the tool check fails cleanly instead of pretending success.
#pragma once

struct PathList;

// Turns every tool axis of the path by angle (degrees) toward one side (+1 or -1) of the
// horizontal path normal. Returns 1 done, -1 on failure. The stand-in returns -1 for every input
// and leaves the path unchanged.
int tiltSidewaysAlongPath(PathList* path, double toolRadius, int side, double angle);
