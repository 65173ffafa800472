// CVXRCMemoryBuffer: reference-counted block of raw bytes.
#pragma once

#include <cstdint>

class CVXRCMemoryBuffer {
public:
    CVXRCMemoryBuffer();                     // the empty buffer
    explicit CVXRCMemoryBuffer(uint32_t size); // new block; the bytes are not cleared
    CVXRCMemoryBuffer(const CVXRCMemoryBuffer& other);
    CVXRCMemoryBuffer& operator=(const CVXRCMemoryBuffer& other);
    ~CVXRCMemoryBuffer();

    uint32_t size() const;
    const uint8_t* data() const;
    // Writable bytes; a shared block is reported (the pointer is still returned).
    uint8_t* writableData();

    // Drops this object's reference and points it at the empty buffer.
    void release();
    // Resizes to size bytes, keeping the first min(size, old size) bytes.
    void resize(uint32_t size, bool force = false);

    // Number of buffer objects sharing the block (tests).
    uint32_t referenceCount() const;

private:
    struct Block;
    Block* m_block;
};
