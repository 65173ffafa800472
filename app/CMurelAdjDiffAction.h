#pragma once

#include "app/CMurelAdjAction.h"

// --diff=<file_path>: compares the block (from the page, or from --from) with the reference block
// read from the file, entry by entry through the description in use, and the bytes no entry covers
// as runs of differing bytes. Succeeds when the two are identical.
class CMurelAdjDiffAction final : public CMurelAdjAction {
public:
    bool execute(CMurelAdjOptions& options) override;
};
