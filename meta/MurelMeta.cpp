#include "meta/MurelMeta.h"

#include "foundation/VXAssert.h"
#include "foundation/VXOperatingSystem.h"
#include "foundation/platform/VXAtomic.h"
#include "meta/MurelMetaDescription.h"
#include "meta/MurelMetaNodeBlock.h"

#include <utility>

namespace NMurelMeta {

namespace {

constexpr const char* SOURCE = "MurelMeta";

// Room the breadth-first work list of findNodeById starts with.
constexpr uint32_t SEARCH_LIST_RESERVE = 100;

constexpr uint32_t FIRST_NAMED_TYPE = INT8;
constexpr uint32_t LAST_NAMED_TYPE = UINT64;
constexpr uint32_t NAMED_TYPE_COUNT = LAST_NAMED_TYPE - FIRST_NAMED_TYPE + 1;

// The integer types in data-type order: "INT8" for 2 up to "UINT64" for 9. Built on first use
// (thread-safe) and destroyed at exit.
const CMurelAdjTypeInfo* namedTypes() {
    static const CMurelAdjTypeInfo TYPES[NAMED_TYPE_COUNT] = {
        {"INT8", 1, 0},  {"UINT8", 1, 0},  {"INT16", 2, 0}, {"UINT16", 2, 0},
        {"INT32", 4, 0}, {"UINT32", 4, 0}, {"INT64", 8, 0}, {"UINT64", 8, 0},
    };
    return TYPES;
}

} // namespace

// ----- CMetaRefCounted -----

void* CMetaRefCounted::operator new(size_t size) {
    return VXMallocOrDie(size);
}

void CMetaRefCounted::operator delete(void* block) {
    VXFree(block);
}

void CMetaRefCounted::destroy() {
    CMetaNodeBlock* block = m_block;
    if (block == nullptr) {
        delete this;
        return;
    }
    this->~CMetaRefCounted();
    block->releaseSlot(this);
}

void CMetaRefCounted::addReference() {
    VXAtomicAdd(&m_references, 1);
}

bool CMetaRefCounted::releaseReference() {
    if (VXAtomicSubValue(&m_references, 1) == 1) {
        destroy();
        return true;
    }
    return false;
}

uint32_t CMetaRefCounted::referenceCount() const {
    return VXAtomicLoad(&m_references);
}

// ----- TMetaNodePtr -----

TMetaNodePtr::TMetaNodePtr(CMetaNode* node) : m_node(node) {
    if (m_node != nullptr) {
        m_node->addReference();
    }
}

TMetaNodePtr::TMetaNodePtr(const TMetaNodePtr& other) : TMetaNodePtr(other.m_node) {}

TMetaNodePtr::TMetaNodePtr(TMetaNodePtr&& other) noexcept : m_node(other.m_node) {
    other.m_node = nullptr;
}

TMetaNodePtr& TMetaNodePtr::operator=(const TMetaNodePtr& other) {
    return *this = other.m_node;
}

TMetaNodePtr& TMetaNodePtr::operator=(TMetaNodePtr&& other) noexcept {
    if (this != &other) {
        CMetaNode* old = m_node;
        m_node = other.m_node;
        other.m_node = nullptr;
        if (old != nullptr) {
            old->releaseReference();
        }
    }
    return *this;
}

TMetaNodePtr& TMetaNodePtr::operator=(CMetaNode* node) {
    if (node != m_node) {
        // Take the new reference before dropping the old one: the old node may own the new one.
        if (node != nullptr) {
            node->addReference();
        }
        CMetaNode* old = m_node;
        m_node = node;
        if (old != nullptr) {
            old->releaseReference();
        }
    }
    return *this;
}

TMetaNodePtr::~TMetaNodePtr() {
    release();
}

void TMetaNodePtr::release() {
    CMetaNode* old = m_node;
    m_node = nullptr;
    if (old != nullptr) {
        old->releaseReference();
    }
}

// ----- node classes -----

CMetaNode::CMetaNode(CVXString name, uint32_t childCount, const CMetaCbInfo& cbInfo)
    : m_name(std::move(name)), m_blockNumber(cbInfo.blockNumber),
      m_blockLength(cbInfo.blockLength) {
    m_children.reserve(childCount);
}

void CMetaNode::addChild(const TMetaNodePtr& child) {
    m_children.append(child);
}

void CMetaNode::addChild(TMetaNodePtr&& child) {
    m_children.append(std::move(child));
}

CMetaRootNode::CMetaRootNode(CVXString name, uint32_t childCount)
    : CMetaNode(std::move(name), childCount, CMetaCbInfo{}) {}

CMetaItemNode::CMetaItemNode(CVXString name, uint32_t id, uint32_t size, uint32_t domain,
                             uint32_t dataType, uint32_t linkIndex, uint32_t sourceId,
                             uint32_t mirrorId)
    : CMetaNode(std::move(name), 0, CMetaCbInfo{}) {
    m_id = id;
    m_size = size;
    m_storageSize = size;
    m_domain = domain;
    m_dataType = dataType;
    m_linkIndex = linkIndex;
    m_sourceId = sourceId;
    m_mirrorId = mirrorId;
}

CMetaAdjStructNode::CMetaAdjStructNode(CVXString name, uint32_t id, uint32_t size,
                                       uint32_t childCount)
    : CMetaNode(std::move(name), childCount, CMetaCbInfo{}) {
    m_id = id;
    m_size = size;
    m_storageSize = size;
    m_mirrorId = NO_ID;
}

CMetaAdjNode::CMetaAdjNode(CVXString name, uint32_t id, uint32_t size, uint32_t dataType)
    : CMetaNode(std::move(name), 0, CMetaCbInfo{}) {
    m_id = id;
    m_size = size;
    m_storageSize = size;
    m_dataType = dataType;
    m_mirrorId = NO_ID;
}

CMetaCbNode::CMetaCbNode(CVXString name, uint32_t id, uint32_t childCount,
                         const CMetaCbInfo& cbInfo, uint32_t mirrorId)
    : CMetaNode(std::move(name), childCount, cbInfo) {
    m_domain = 2;
    m_id = id;
    m_size = cbInfo.blockLength;
    m_storageSize = static_cast<uint32_t>(cbInfo.blockLength) + 2;
    m_mirrorId = mirrorId;
}

CMetaCbFunctionNode::CMetaCbFunctionNode(CVXString name, uint32_t id, uint32_t size,
                                         uint32_t childCount, uint32_t mirrorId)
    : CMetaNode(std::move(name), childCount, CMetaCbInfo{}) {
    m_id = id;
    m_size = size;
    m_storageSize = size;
    m_mirrorId = mirrorId;
    m_domain = 2;
}

CMetaCbCondParamNode::CMetaCbCondParamNode(CVXString name, uint32_t size, const uint8_t* value)
    : CMetaNode(std::move(name), 0, CMetaCbInfo{}) {
    m_size = size;
    m_storageSize = size;
    m_value = value;
}

// ----- tree operations -----

void addChild(CMetaNode* node, const TMetaNodePtr& child) {
    if (node == nullptr) {
        VXAssertionFailed(__LINE__, SOURCE, "Invalid parameter");
        return;
    }
    node->addChild(child);
}

bool collectNodes(CMetaNode* node, bool topLevelOnly, const uint32_t* mask,
                  TVXVector<TMetaNodePtr>& out) {
    if (node == nullptr || mask == nullptr) {
        VXAssertionFailed(__LINE__, SOURCE, "Invalid parameter");
        return false;
    }
    bool found = false;
    for (const TMetaNodePtr& child : node->children()) {
        if (child.isEmpty()) {
            continue;
        }
        if (*mask == KIND_ALL || (child->getKind() & *mask) != 0) {
            out.append(child);
            found = true;
        }
        if (!topLevelOnly && collectNodes(child.get(), topLevelOnly, mask, out)) {
            found = true;
        }
    }
    return found;
}

bool findNodeById(CMetaNode* node, uint32_t id, TMetaNodePtr& result) {
    if (node == nullptr) {
        return false;
    }
    const uint32_t top = id >> 30;
    if (top == 0 || top == 3) {
        for (const TMetaNodePtr& child : node->children()) {
            if (!child.isEmpty() && child->id() == id) {
                result = child.get();
                return true;
            }
        }
        return false;
    }
    TVXVector<CMetaNode*> work;
    work.reserve(SEARCH_LIST_RESERVE);
    work.append(node);
    for (int32_t index = 0; index < work.size(); ++index) {
        CMetaNode* candidate = work[index];
        if (candidate == nullptr) {
            continue;
        }
        if (candidate->id() == id) {
            result = candidate;
            return true;
        }
        for (const TMetaNodePtr& child : candidate->children()) {
            work.append(child.get());
        }
    }
    return false;
}

bool isRegisteredItemId(uint32_t id) {
    uint32_t first = 0;
    uint32_t count = ITEM_REGISTRY_SIZE;
    while (count > 0) {
        const uint32_t step = count / 2;
        if (ITEM_REGISTRY[first + step].id < id) {
            first += step + 1;
            count -= step + 1;
        } else {
            count = step;
        }
    }
    return first < ITEM_REGISTRY_SIZE && ITEM_REGISTRY[first].id == id;
}

bool findRegisteredNode(CMetaNode* node, uint32_t id, TMetaNodePtr& result) {
    if (!isRegisteredItemId(id)) {
        return false;
    }
    return findNodeById(node, id, result);
}

bool findDataTypeByName(const CVXString& name, CMurelAdjTypeInfo* out) {
    const CMurelAdjTypeInfo* types = namedTypes();
    for (uint32_t index = 0; index < NAMED_TYPE_COUNT; ++index) {
        if (types[index].typeName == name) {
            if (out != nullptr) {
                *out = types[index];
            }
            return true;
        }
    }
    return false;
}

bool getDataTypeInfo(uint32_t dataType, CMurelAdjTypeInfo* out) {
    if (dataType < FIRST_NAMED_TYPE || dataType > LAST_NAMED_TYPE) {
        VXAssertionFailed(__LINE__, SOURCE, "Unsupported NMurelMeta::EMurelMetaDataType value.");
        return false;
    }
    // The table is in data-type order, so the entry found by name is the one at this position.
    return findDataTypeByName(namedTypes()[dataType - FIRST_NAMED_TYPE].typeName, out);
}

} // namespace NMurelMeta
