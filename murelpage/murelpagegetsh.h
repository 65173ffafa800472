/* Internal operations of the page client, for the library itself and its tests. */
#ifndef MURELPAGE_MURELPAGEGETSH_H
#define MURELPAGE_MURELPAGEGETSH_H

#include "murelpage/MurelPageGet.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Refreshes the private copy if the change counter has risen; needs the module lock for writing. */
MurelPageGet_EResult MurelPageGetSh_updateImpl(void);

/* Unmaps the page and the access object and returns the module to its start state, so that one
 * test process can attach several times. Not part of the client's life cycle. */
void MurelPageGetSh_resetForTesting(void);

/* Replaces the private copy by the given MURELPAGE_SIZE bytes and parses its header, as a refresh
 * that found a changed page does: OK, or ERROR_INIT_SYSPAGE for a format byte other than 1. Lets
 * tests and fuzzing drive the lookups without shared memory; not part of the client's life cycle.
 */
MurelPageGet_EResult MurelPageGetSh_loadCopyForTesting(const uint8_t* page);

#ifdef __cplusplus
}
#endif

#endif /* MURELPAGE_MURELPAGEGETSH_H */
