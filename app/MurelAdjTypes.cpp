#include "app/MurelAdjTypes.h"

#include "foundation/VXAssert.h"

const char* murelAdjActionName(EMurelAdjAction action) {
    switch (action) {
    case MURELADJ_ACTION_UNDEFINED:
        return "undefined";
    case MURELADJ_ACTION_DUMP:
        return "dump";
    case MURELADJ_ACTION_BACKUP:
        return "backup";
    case MURELADJ_ACTION_RESTORE:
        return "restore";
    case MURELADJ_ACTION_GET:
        return "get";
    case MURELADJ_ACTION_SET:
        return "set";
    case MURELADJ_ACTION_CHECK:
        return "check";
    case MURELADJ_ACTION_GETVER:
        return "getver";
    case MURELADJ_ACTION_DUMPCACHE:
        return "dumpcache";
    case MURELADJ_ACTION_CHECKCACHE:
        return "checkcache";
    case MURELADJ_ACTION_DIFF:
        return "diff";
    }
    VXAssertionFailed(__LINE__, "MurelAdjTypes", "Unknown EMurelAdjAction value.");
    return "";
}
