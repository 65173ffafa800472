// The usage text printed by "--help", and the version lines of "--version".
#pragma once

// The whole text, beginning with an empty line and ending with one empty line after the last entry.
extern const char MURELADJ_USAGE_TEXT[];

// The section of the options that read blocks offline, compare them and print JSON, printed after
// the usage text.
extern const char MURELADJ_USAGE_MORE_TEXT[];

// Prints the usage text and the section after it on standard output with one formatted write.
void printMurelAdjUsage();

// Prints "velkor <version>" and the compiled-in layout version on standard output.
void printMurelAdjVersion();
