// The usage text printed by "--help".
#pragma once

// The whole text, beginning with an empty line and ending with one empty line after the last entry.
extern const char MURELADJ_USAGE_TEXT[];

// Prints the usage text on standard output with one formatted write.
void printMurelAdjUsage();
