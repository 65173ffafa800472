// CVXRCMemoryBuffer: reference-counted block of raw bytes.
//
// One allocation holds the block header (references, size, data pointer) and the data area, whose
// length is the size rounded up to a multiple of 8. Copies share the block; the references count
// changes only atomically, so copies may be made and released on different threads (the bytes
// themselves are not protected). Size 0 and default construction share one static empty block
// (size 0, data null) whose count never changes.
#pragma once

#include <cstddef>
#include <cstdint>

class CVXRCMemoryBuffer {
public:
    CVXRCMemoryBuffer();                       // the empty buffer
    explicit CVXRCMemoryBuffer(uint32_t size); // new block; the bytes are not cleared
    CVXRCMemoryBuffer(const CVXRCMemoryBuffer& other);
    CVXRCMemoryBuffer& operator=(const CVXRCMemoryBuffer& other);
    ~CVXRCMemoryBuffer();

    uint32_t size() const;
    const uint8_t* data() const;
    // Writable bytes; a shared block is reported ("Writing to a shared buffer", source
    // CVXRCMemoryBuffer) and the pointer is still returned.
    uint8_t* writableData();

    // Drops this object's reference and points it at the empty buffer.
    void release();
    // Resizes to size bytes, keeping the first min(size, old size) bytes; the rest is not
    // initialised. The same size without force keeps the block; otherwise a new block is made.
    void resize(uint32_t size, bool force = false);

    // Number of buffer objects sharing the block (tests).
    uint32_t referenceCount() const;

private:
    struct Block;
    static Block s_emptyBlock;
    static size_t blockBytes(uint32_t size);

    Block* m_block;
};
