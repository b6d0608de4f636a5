#pragma once

// `lumivue --list-cameras`: the real cameras found, as a user checking a phone or a webcam wants
// to see them.

#include <cstdio>

// Prints the list on `out`; the exit status (0, or 1 when the cameras cannot be looked for).
int printCameraList(std::FILE* out);
