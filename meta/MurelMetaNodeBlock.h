// One block of memory for the nodes of a tree that is built in one go (the compiled-in
// description): each node is constructed in the next slot of the block instead of in a heap block
// of its own, and the block is freed when its builder has let go of it and the last of its nodes
// is destroyed. Nodes in a block are shared and released through handles like any other node.
#pragma once

#include "meta/MurelMeta.h"

#include <cstdint>
#include <new>
#include <utility>

namespace NMurelMeta {

class CMetaNodeBlock {
public:
    // A block with room for count nodes, from the allocate-or-die policy; the caller holds the
    // builder's reference.
    static CMetaNodeBlock* create(uint32_t count);

    CMetaNodeBlock(const CMetaNodeBlock&) = delete;
    CMetaNodeBlock& operator=(const CMetaNodeBlock&) = delete;

    // Constructs a node in the next free slot. A full block is reported and the node comes from
    // the heap instead.
    template <typename Node, typename... Arguments>
    Node* make(Arguments&&... arguments) {
        static_assert(sizeof(Node) <= SLOT_SIZE && alignof(Node) <= SLOT_ALIGNMENT);
        void* slot = takeSlot();
        if (slot == nullptr) {
            return new Node(std::forward<Arguments>(arguments)...);
        }
        Node* node = ::new (slot) Node(std::forward<Arguments>(arguments)...);
        node->m_block = this;
        return node;
    }

    // Drops the builder's reference.
    void release();
    // Gives back the slot of a node whose destructor ran, and drops its reference. In
    // AddressSanitizer builds the slot is poisoned, so that a stale pointer to the node is caught
    // as it would be in a freed heap block.
    void releaseSlot(void* slot);

    uint32_t capacity() const { return m_capacity; }
    uint32_t used() const { return m_used; }

private:
    static constexpr size_t SLOT_SIZE = sizeof(CMetaNode);
    static constexpr size_t SLOT_ALIGNMENT = alignof(CMetaNode);

    // Offset of the first slot: behind the block's own fields, aligned for a node.
    static size_t firstSlot();
    static size_t bytesFor(uint32_t count);

    explicit CMetaNodeBlock(uint32_t capacity) : m_capacity(capacity) {}
    ~CMetaNodeBlock() = default;

    void* takeSlot();

    uint32_t m_capacity;
    uint32_t m_used = 0;
    // The builder's reference plus one per constructed node.
    volatile uint32_t m_references = 1;
};

} // namespace NMurelMeta
