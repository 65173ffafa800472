// Meta description tree: named, typed nodes describing the items of the settings page.
#pragma once

#include "foundation/CVXString.h"
#include "foundation/TVXVector.h"

#include <cstddef>
#include <cstdint>

namespace NMurelMeta {

// One bit per node kind, so that a set of kinds is a mask.
enum EMurelMetaNodeKind : uint32_t {
    None = 1,
    AdjStruct = 2,
    AdjNode = 4,
    Cb = 8,
    CbFunction = 16,
    CbCondParam = 32,
    Root = 64,
};
constexpr uint32_t KIND_ALL = 127;

// Data types of description nodes.
enum EMurelMetaDataType : uint32_t {
    BOOL = 1,
    INT8 = 2,
    UINT8 = 3,
    INT16 = 4,
    UINT16 = 5,
    INT32 = 6,
    UINT32 = 7,
    INT64 = 8,
    UINT64 = 9,
    BUFFER = 12,
    STRING = 13,
    BYTE_STREAM = 14,
};

constexpr uint32_t NO_ID = 0xFFFFFFFFu;

} // namespace NMurelMeta

// Data-type descriptor of an entry: type name, bytes per element, number of elements.
struct CMurelAdjTypeInfo {
    CVXString typeName;
    uint32_t size = 0;
    uint32_t count = 0;
};

namespace NMurelMeta {

class CMetaNode;

// Reference-counted handle to a node; releasing the last handle destroys the node's subtree.
class TMetaNodePtr {
public:
    TMetaNodePtr() = default;
    TMetaNodePtr(CMetaNode* node); // NOLINT(google-explicit-constructor): handle from new node
    TMetaNodePtr(const TMetaNodePtr& other);
    // Moving hands the reference over; the source is left empty.
    TMetaNodePtr(TMetaNodePtr&& other) noexcept;
    TMetaNodePtr& operator=(const TMetaNodePtr& other);
    TMetaNodePtr& operator=(TMetaNodePtr&& other) noexcept;
    TMetaNodePtr& operator=(CMetaNode* node);
    ~TMetaNodePtr();

    CMetaNode* get() const { return m_node; }
    CMetaNode* operator->() const { return m_node; }
    CMetaNode& operator*() const { return *m_node; }
    bool isEmpty() const { return m_node == nullptr; }
    // Drops the reference (destroying the node when it was the last) and leaves the handle empty.
    void release();

private:
    CMetaNode* m_node = nullptr;
};

// Coding-block data passed to the node base constructor (zeros for every other kind).
struct CMetaCbInfo {
    uint32_t blockNumber = 0;
    uint16_t blockLength = 0;
};

class CMetaNodeBlock;

class CMetaRefCounted {
public:
    CMetaRefCounted() = default;
    CMetaRefCounted(const CMetaRefCounted&) = delete;
    CMetaRefCounted& operator=(const CMetaRefCounted&) = delete;
    virtual ~CMetaRefCounted() = default;

    // Nodes come from the foundation's allocate-or-die policy.
    static void* operator new(size_t size);
    static void operator delete(void* block);

    // Ends the object (and frees its memory, or gives its slot back to its block); called by the
    // handle that releases the last reference.
    virtual void destroy();

    void addReference();
    // Drops one reference; destroys the object when it was the last. Returns true if destroyed.
    bool releaseReference();
    uint32_t referenceCount() const;

private:
    friend class CMetaNodeBlock;

    volatile uint32_t m_references = 0;
    // The block the object was constructed in, or none when it has a heap block of its own.
    CMetaNodeBlock* m_block = nullptr;
};

class CMetaNode : public CMetaRefCounted {
public:
    virtual uint32_t getKind() const = 0;
    virtual uint32_t getDomain() const { return m_domain; }

    const CVXString& name() const { return m_name; }
    const TVXVector<TMetaNodePtr>& children() const { return m_children; }
    uint32_t blockNumber() const { return m_blockNumber; }
    uint16_t blockLength() const { return m_blockLength; }
    uint32_t id() const { return m_id; }
    uint32_t dataType() const { return m_dataType; }
    uint32_t size() const { return m_size; }
    uint32_t storageSize() const { return m_storageSize; }
    const uint8_t* value() const { return m_value; }
    uint32_t linkIndex() const { return m_linkIndex; }
    uint32_t sourceId() const { return m_sourceId; }
    uint32_t mirrorId() const { return m_mirrorId; }

    // Appends a copy of the handle to the children (the child gains a reference).
    void addChild(const TMetaNodePtr& child);
    // Appends the handle itself: its reference passes to the children, the handle is left empty.
    void addChild(TMetaNodePtr&& child);

protected:
    CMetaNode(CVXString name, uint32_t childCount, const CMetaCbInfo& cbInfo);

    CVXString m_name;
    TVXVector<TMetaNodePtr> m_children;
    uint32_t m_blockNumber;
    uint16_t m_blockLength;
    uint32_t m_id = NO_ID;
    uint32_t m_domain = 0;
    uint32_t m_dataType = 0;
    uint32_t m_size = 0;
    uint32_t m_storageSize = 0;
    const uint8_t* m_value = nullptr;
    uint32_t m_linkIndex = NO_ID;
    uint32_t m_sourceId = NO_ID;
    uint32_t m_mirrorId = NO_ID;
};

class CMetaRootNode : public CMetaNode {
public:
    CMetaRootNode(CVXString name, uint32_t childCount);
    uint32_t getKind() const override { return Root; }
};

class CMetaItemNode : public CMetaNode {
public:
    CMetaItemNode(CVXString name, uint32_t id, uint32_t size, uint32_t domain, uint32_t dataType,
                  uint32_t linkIndex, uint32_t sourceId, uint32_t mirrorId);
    uint32_t getKind() const override { return None; }
};

class CMetaAdjStructNode : public CMetaNode {
public:
    CMetaAdjStructNode(CVXString name, uint32_t id, uint32_t size, uint32_t childCount);
    uint32_t getKind() const override { return AdjStruct; }
    uint32_t getDomain() const override { return 4; }
};

class CMetaAdjNode : public CMetaNode {
public:
    CMetaAdjNode(CVXString name, uint32_t id, uint32_t size, uint32_t dataType);
    uint32_t getKind() const override { return AdjNode; }
    uint32_t getDomain() const override { return 4; }
};

class CMetaCbNode : public CMetaNode {
public:
    CMetaCbNode(CVXString name, uint32_t id, uint32_t childCount, const CMetaCbInfo& cbInfo,
                uint32_t mirrorId);
    uint32_t getKind() const override { return Cb; }
};

class CMetaCbFunctionNode : public CMetaNode {
public:
    CMetaCbFunctionNode(CVXString name, uint32_t id, uint32_t size, uint32_t childCount,
                        uint32_t mirrorId);
    uint32_t getKind() const override { return CbFunction; }
};

class CMetaCbCondParamNode : public CMetaNode {
public:
    CMetaCbCondParamNode(CVXString name, uint32_t size, const uint8_t* value);
    uint32_t getKind() const override { return CbCondParam; }
};

// Appends a copy of child to node's children.
void addChild(CMetaNode* node, const TMetaNodePtr& child);

// Appends the descendants of node whose kind is in *mask (pre-order); true if any was appended.
bool collectNodes(CMetaNode* node, bool topLevelOnly, const uint32_t* mask,
                  TVXVector<TMetaNodePtr>& out);

// Finds a node by identifier: direct children for top bits 00/11, breadth-first for 01/10.
bool findNodeById(CMetaNode* node, uint32_t id, TMetaNodePtr& result);

// True when ITEM_REGISTRY holds the identifier.
bool isRegisteredItemId(uint32_t id);

// findNodeById, guarded by isRegisteredItemId.
bool findRegisteredNode(CMetaNode* node, uint32_t id, TMetaNodePtr& result);

// Looks up one of the eight integer types by name ("INT8" ... "UINT64"); count is 0.
bool findDataTypeByName(const CVXString& name, CMurelAdjTypeInfo* out);

// Type info for the data types 2 to 9; any other value is reported and gives false.
bool getDataTypeInfo(uint32_t dataType, CMurelAdjTypeInfo* out);

} // namespace NMurelMeta
