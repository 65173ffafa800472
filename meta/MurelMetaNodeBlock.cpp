#include "meta/MurelMetaNodeBlock.h"

#include "foundation/VXAssert.h"
#include "foundation/VXOperatingSystem.h"
#include "foundation/platform/VXAtomic.h"
#include "foundation/platform/VXMemory.h"

namespace NMurelMeta {

namespace {

constexpr const char* SOURCE = "MurelMetaNodeBlock";

// Offset of the first slot behind the block's header.
template <size_t Header, size_t Alignment>
constexpr size_t firstSlotOffset() {
    return (Header + Alignment - 1) / Alignment * Alignment;
}

} // namespace

CMetaNodeBlock* CMetaNodeBlock::create(uint32_t count) {
    constexpr size_t SLOTS = firstSlotOffset<sizeof(CMetaNodeBlock), SLOT_ALIGNMENT>();
    const size_t size = SLOTS + static_cast<size_t>(count) * SLOT_SIZE;
    void* memory = VXMallocOrDie(size);
    // The slots are all filled right away: one call backs them instead of a fault per page.
    VXPlatformPrefault(memory, size);
    return ::new (memory) CMetaNodeBlock(count);
}

void* CMetaNodeBlock::takeSlot() {
    if (m_used == m_capacity) {
        VXAssertionFailed(__LINE__, SOURCE, "node block full");
        return nullptr;
    }
    constexpr size_t SLOTS = firstSlotOffset<sizeof(CMetaNodeBlock), SLOT_ALIGNMENT>();
    unsigned char* slot = reinterpret_cast<unsigned char*>(this) + SLOTS + m_used * SLOT_SIZE;
    ++m_used;
    VXAtomicAdd(&m_references, 1);
    return slot;
}

void CMetaNodeBlock::release() {
    if (VXAtomicSubValue(&m_references, 1) == 1) {
        this->~CMetaNodeBlock();
        VXFree(this);
    }
}

} // namespace NMurelMeta
