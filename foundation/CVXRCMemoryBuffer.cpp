#include "foundation/CVXRCMemoryBuffer.h"

#include "foundation/VXAssert.h"
#include "foundation/VXOperatingSystem.h"
#include "foundation/platform/VXAtomic.h"

#include <cstddef>
#include <cstring>
#include <new>

// Header of a shared block; the data area follows it in the same allocation. The header is padded
// to 8 bytes so that the data area is 8-byte aligned on 32-bit targets as well.
struct alignas(8) CVXRCMemoryBuffer::Block {
    uint32_t references;
    uint32_t size;
    uint8_t* data;
};

// The process-wide empty block. Its count stays at 1 for ever: nothing adds to or subtracts from
// it, so it is never freed. Constant-initialised, so buffers made by static initialisers of other
// translation units find it ready.
constinit CVXRCMemoryBuffer::Block CVXRCMemoryBuffer::s_emptyBlock = {1, 0, nullptr};

// Bytes to request for a block of size usable bytes: header plus the data area rounded up to a
// multiple of 8. A total that cannot be represented (only possible on 32-bit targets) is clamped
// to a request no allocator can satisfy, so it ends in the allocation-failure policy instead of
// wrapping round to a short block.
size_t CVXRCMemoryBuffer::blockBytes(uint32_t size) {
    const uint64_t dataBytes = (static_cast<uint64_t>(size) + 7u) & ~static_cast<uint64_t>(7u);
    const uint64_t total = sizeof(Block) + dataBytes;
    constexpr uint64_t largestRequest = static_cast<uint64_t>(SIZE_MAX) - 4095u;
    return static_cast<size_t>(total < largestRequest ? total : largestRequest);
}

CVXRCMemoryBuffer::CVXRCMemoryBuffer() : m_block(&s_emptyBlock) {}

CVXRCMemoryBuffer::CVXRCMemoryBuffer(uint32_t size) : m_block(&s_emptyBlock) {
    if (size == 0) {
        return;
    }
    void* memory = VXMallocOrDie(blockBytes(size));
    Block* block = new (memory) Block;
    block->references = 1;
    block->size = size;
    block->data = reinterpret_cast<uint8_t*>(block + 1);
    m_block = block;
}

CVXRCMemoryBuffer::CVXRCMemoryBuffer(const CVXRCMemoryBuffer& other) : m_block(other.m_block) {
    if (m_block != nullptr && m_block != &s_emptyBlock) {
        VXAtomicAdd(&m_block->references, 1);
    }
}

CVXRCMemoryBuffer& CVXRCMemoryBuffer::operator=(const CVXRCMemoryBuffer& other) {
    if (m_block == other.m_block) {
        return *this;
    }
    release();
    m_block = other.m_block;
    if (m_block != nullptr && m_block != &s_emptyBlock) {
        VXAtomicAdd(&m_block->references, 1);
    }
    return *this;
}

CVXRCMemoryBuffer::~CVXRCMemoryBuffer() {
    release();
    m_block = nullptr;
}

uint32_t CVXRCMemoryBuffer::size() const {
    return m_block != nullptr ? m_block->size : 0;
}

const uint8_t* CVXRCMemoryBuffer::data() const {
    return m_block != nullptr ? m_block->data : nullptr;
}

uint8_t* CVXRCMemoryBuffer::writableData() {
    if (m_block == nullptr) {
        return nullptr;
    }
    if (VXAtomicLoad(&m_block->references) >= 2) {
        VXAssertionFailed(__LINE__, "CVXRCMemoryBuffer", "Writing to a shared buffer");
    }
    return m_block->data;
}

void CVXRCMemoryBuffer::release() {
    if (m_block != nullptr && m_block != &s_emptyBlock) {
        if (VXAtomicSubValue(&m_block->references, 1) == 1) {
            m_block->~Block();
            VXFree(m_block);
        }
    }
    m_block = &s_emptyBlock;
}

void CVXRCMemoryBuffer::resize(uint32_t size, bool force) {
    const uint32_t oldSize = this->size();
    if (size == oldSize && !force) {
        return;
    }
    CVXRCMemoryBuffer resized(size);
    const uint32_t kept = size < oldSize ? size : oldSize;
    if (kept > 0) {
        std::memcpy(resized.m_block->data, m_block->data, kept);
    }
    *this = resized;
    resized.release();
}

uint32_t CVXRCMemoryBuffer::referenceCount() const {
    return m_block != nullptr ? VXAtomicLoad(&m_block->references) : 0;
}
