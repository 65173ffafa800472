// The control flow of velkor: parse the command line, build the action list, run it, give the
// verdict.
#pragma once

#include "app/MurelAdjTypes.h"
#include "foundation/TVXVector.h"

#include <cstdint>

class CMurelAdjAction;
struct CMurelAdjOptions;

// What the run needs of the signal-watch thread: its counter of termination requests, the call
// that returns once every signal sent so far is counted and logged (made before each reading of the
// counter), and the call that does so a last time on the way out. The calls may be null.
struct CMurelAdjSignalWatch {
    const volatile uint32_t* terminationRequests;
    void (*takePendingSignals)();
    void (*takeLastSignals)();
};

// The whole run; returns the exit status (0 success or usage printed, 1 otherwise).
int murelAdjMain(const CMurelAdjSignalWatch& signalWatch);

// Help pass over the option source's arguments: prints the usage text and returns true when an
// argument is "--help" (alone or with "=...").
bool runMurelAdjHelpPass(CMurelAdjOptions& options);

// Version pass, after the help pass: prints the version lines and returns true when an argument is
// "--version" (alone or with "=..."); nothing else is then looked at.
bool runMurelAdjVersionPass(CMurelAdjOptions& options);

// Parse pass over the option source's arguments, stopping at the first error. On an error
// failedArgument is the argument whose handler (or lookup) failed and failedOption its table
// entry name (null for an unsupported argument).
EMurelAdjOptionResult runMurelAdjParsePass(CMurelAdjOptions& options, const char** failedArgument,
                                           const char** failedOption);

// Writes the two lines of an option error through reportOptionError (the "Too few options" text
// when the result is OK).
void reportMurelAdjOptionError(EMurelAdjOptionResult result, const char* failedArgument,
                               const char* failedOption);

// Appends the actions for the parsed options: the description-file action first when a
// description file was named and get, set, verbose dump or diff was chosen, then the chosen action.
void buildMurelAdjActions(const CMurelAdjOptions& options, TVXVector<CMurelAdjAction*>& actions);

// Runs the actions in order; each is destroyed right after its turn (and its slot cleared). An
// action runs only while no earlier one failed and no termination request has been counted by the
// time it is due. Returns true when the run failed.
bool runMurelAdjActions(TVXVector<CMurelAdjAction*>& actions, CMurelAdjOptions& options,
                        const CMurelAdjSignalWatch& signalWatch);
