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

#ifdef __cplusplus
}
#endif

#endif /* MURELPAGE_MURELPAGEGETSH_H */
