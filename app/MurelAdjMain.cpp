#include "app/MurelAdjMain.h"

#include "app/CMurelAdjAction.h"
#include "app/CMurelAdjBackupAction.h"
#include "app/CMurelAdjCheckAction.h"
#include "app/CMurelAdjConfigAction.h"
#include "app/CMurelAdjDiffAction.h"
#include "app/CMurelAdjDumpAction.h"
#include "app/CMurelAdjGetverAction.h"
#include "app/CMurelAdjLog.h"
#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjOptionTable.h"
#include "foundation/VXAssert.h"
#include "foundation/VXCommandLineOptions.h"
#include "foundation/platform/VXAtomic.h"

#include <cstdio>
#include <cstring>

namespace {

// Looks for an argument that matches the option name anywhere on the command line; the first one
// is handed to the handler (which prints its text) and true is returned.
bool runMurelAdjSinglePass(const char* name, MurelAdjOptionHandler handler,
                           CMurelAdjOptions& options) {
    const int32_t count = VXCommandLineOptions::getArgc();
    for (int32_t index = 1; index < count; ++index) {
        const char* const argument = VXCommandLineOptions::getArg(index);
        if (matchOption(argument, name)) {
            handler(argument + strlen(name), options);
            return true;
        }
    }
    return false;
}

} // namespace

bool runMurelAdjHelpPass(CMurelAdjOptions& options) {
    return runMurelAdjSinglePass(MURELADJ_HELP_OPTION, handleHelpOption, options);
}

bool runMurelAdjVersionPass(CMurelAdjOptions& options) {
    return runMurelAdjSinglePass(MURELADJ_VERSION_OPTION, handleVersionOption, options);
}

EMurelAdjOptionResult runMurelAdjParsePass(CMurelAdjOptions& options, const char** failedArgument,
                                           const char** failedOption) {
    *failedArgument = nullptr;
    *failedOption = nullptr;
    const int32_t count = VXCommandLineOptions::getArgc();
    EMurelAdjOptionResult result = MURELADJ_OPTION_OK;
    for (int32_t index = 1; index < count && result == MURELADJ_OPTION_OK; ++index) {
        const char* const argument = VXCommandLineOptions::getArg(index);
        *failedArgument = argument;
        *failedOption = nullptr;
        result = MURELADJ_OPTION_NOT_SUPPORTED;
        for (const CMurelAdjOptionEntry& entry : MURELADJ_OPTION_TABLE) {
            if (matchOption(argument, entry.name)) {
                *failedOption = entry.name;
                result = entry.handler(argument + strlen(entry.name), options);
                break;
            }
        }
    }
    if (result == MURELADJ_OPTION_OK) {
        *failedArgument = nullptr;
        *failedOption = nullptr;
    }
    return result;
}

void reportMurelAdjOptionError(EMurelAdjOptionResult result, const char* failedArgument,
                               const char* failedOption) {
    switch (result) {
    case MURELADJ_OPTION_OK:
        reportOptionError("Too few options, action cannot be identified.");
        break;
    case MURELADJ_OPTION_NOT_SUPPORTED:
        reportOptionError("'%s' option not supported.", failedArgument);
        break;
    case MURELADJ_OPTION_NO_VALUE:
        reportOptionError("'%s' option requires value(s).", failedOption);
        break;
    case MURELADJ_OPTION_WRONG_FORMAT:
        reportOptionError("'%s' option value(s) in wrong format.", failedOption);
        break;
    case MURELADJ_OPTION_INVALID:
        reportOptionError("'%s' option value(s) invalid.", failedOption);
        break;
    case MURELADJ_OPTION_DUPLICATE:
        reportOptionError("'%s' option duplications forbidden.", failedOption);
        break;
    case MURELADJ_OPTION_TOO_FEW:
    default:
        VXAssertionFailed(__LINE__, "MurelAdjMain", "Unknown EMurelAdjOptionResult value.");
        break;
    }
    reportOptionError("Use option '%s' for detailed information.", MURELADJ_HELP_OPTION);
}

void buildMurelAdjActions(const CMurelAdjOptions& options, TVXVector<CMurelAdjAction*>& actions) {
    const bool needsDescription =
        options.action == MURELADJ_ACTION_GET || options.action == MURELADJ_ACTION_SET ||
        (options.action == MURELADJ_ACTION_DUMP && options.dumpMode == MURELADJ_DUMP_VERBOSE) ||
        options.action == MURELADJ_ACTION_DIFF;
    if (!options.configPath.isEmpty() && needsDescription) {
        actions.append(new CMurelAdjConfigAction);
    }
    switch (options.action) {
    case MURELADJ_ACTION_DUMP:
    case MURELADJ_ACTION_GET:
        actions.append(new CMurelAdjDumpAction);
        break;
    case MURELADJ_ACTION_BACKUP:
        actions.append(new CMurelAdjBackupAction);
        break;
    case MURELADJ_ACTION_CHECK:
        actions.append(new CMurelAdjCheckAction);
        break;
    case MURELADJ_ACTION_GETVER:
        actions.append(new CMurelAdjGetverAction);
        break;
    case MURELADJ_ACTION_DIFF:
        actions.append(new CMurelAdjDiffAction);
        break;
    default:
        VXAssertionFailed(__LINE__, "MurelAdjMain", "Undefined action.");
        break;
    }
}

bool runMurelAdjActions(TVXVector<CMurelAdjAction*>& actions, CMurelAdjOptions& options,
                        const CMurelAdjSignalWatch& signalWatch) {
    bool failed = false;
    for (CMurelAdjAction*& action : actions) {
        if (!failed) {
            // A request sent before this point may not have been counted yet.
            if (signalWatch.takePendingSignals != nullptr) {
                signalWatch.takePendingSignals();
            }
            if (VXAtomicLoad(signalWatch.terminationRequests) != 0) {
                failed = true;
            } else {
                failed = !action->execute(options);
            }
        }
        delete action;
        action = nullptr;
    }
    return failed;
}

int murelAdjMain(const CMurelAdjSignalWatch& signalWatch) {
    CMurelAdjLog::openSystemLog();
    CMurelAdjOptions options;
    TVXVector<CMurelAdjAction*> actions;
    bool heldActions = false;
    bool failed = false;
    if (!runMurelAdjHelpPass(options) && !runMurelAdjVersionPass(options)) {
        const char* failedArgument = nullptr;
        const char* failedOption = nullptr;
        const EMurelAdjOptionResult result =
            runMurelAdjParsePass(options, &failedArgument, &failedOption);
        if (result != MURELADJ_OPTION_OK || options.action == MURELADJ_ACTION_UNDEFINED) {
            reportMurelAdjOptionError(result, failedArgument, failedOption);
            failed = true;
        } else {
            if (options.endianness == 0) {
                options.endianness = MURELADJ_BIG_ENDIAN;
            }
            if (options.helpRequested == 0) {
                if (options.logTarget != 0) {
                    CMurelAdjLog::setTarget(options.logTarget);
                }
                if (options.logLevelMask != 0) {
                    CMurelAdjLog::setLevelMask(options.logLevelMask);
                }
                buildMurelAdjActions(options, actions);
                heldActions = !actions.isEmpty();
                failed = runMurelAdjActions(actions, options, signalWatch);
                actions.clear();
            }
        }
    }
    // Every signal taken has its line before the log closes and the process ends.
    if (signalWatch.takeLastSignals != nullptr) {
        signalWatch.takeLastSignals();
    }
    CMurelAdjLog::closeSystemLog();
    if (heldActions) {
        fputs(failed ? "FAILURE\n" : "SUCCESS\n", stderr);
        fflush(stderr);
    }
    return failed ? 1 : 0;
}
