// The runtime's argument vector (QNX _argc / _argv).
//
// QNX's C runtime publishes the process arguments in the globals _argc and _argv before static
// initialisation. On Linux the platform layer captures them from the .preinit_array, before any
// static initialiser runs, so that the foundation's start-up code can read them.
#pragma once

// Argument count as captured (may be changed by VXRuntimeSetArgs).
int VXRuntimeArgc();

// Argument vector as captured; null when nothing was captured.
char** VXRuntimeArgv();

// Replaces the published count and vector (the option source clears the count when it is
// implausible; tests install their own vectors).
void VXRuntimeSetArgs(int argc, char** argv);
