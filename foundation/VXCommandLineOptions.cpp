// The option source: the argument table and its "@file" expansion.
#include "foundation/VXCommandLineOptions.h"

#include "foundation/CVXCriticalSection.h"
#include "foundation/VXAssert.h"
#include "foundation/VXOperatingSystem.h"
#include "foundation/platform/VXRuntimeArgs.h"

#include <cstring>
#include <new>

static constexpr const char* SOURCE = "VXCommandLineOptions";

struct CVXCommandLineTable::PoolChunk {
    PoolChunk* previous;
    uint32_t size; // bytes of text space behind the header
    uint32_t used;

    char* text() { return reinterpret_cast<char*>(this + 1); }
};

CVXCommandLineTable::~CVXCommandLineTable() {
    while (m_pool != nullptr) {
        PoolChunk* previous = m_pool->previous;
        VXFree(m_pool);
        m_pool = previous;
    }
}

const char* CVXCommandLineTable::argument(int32_t index) const {
    if (index < 0 || index >= m_count) {
        return nullptr;
    }
    return m_arguments[index];
}

bool CVXCommandLineTable::append(const char* text) {
    if (text == nullptr || m_count >= VXCommandLineOptions::MAX_ARGUMENTS) {
        return false;
    }
    const size_t length = strlen(text);
    const uint32_t available = m_pool != nullptr ? m_pool->size - m_pool->used : 0;
    if (available < length + 1) {
        // A new chunk of whole growth steps; the previous chunk keeps its texts.
        if (length >= UINT32_MAX - POOL_STEP - sizeof(PoolChunk)) {
            VXAssertionFailed(__LINE__, SOURCE, "argument text too long for the text pool");
            return false;
        }
        const uint32_t size =
            static_cast<uint32_t>((length + 1 + POOL_STEP - 1) / POOL_STEP * POOL_STEP);
        void* block = VXMalloc(sizeof(PoolChunk) + size);
        if (block == nullptr) {
            VXAssertionFailed(__LINE__, SOURCE, "text pool cannot grow");
            return false;
        }
        m_pool = new (block) PoolChunk{m_pool, size, 0};
    }
    char* copy = m_pool->text() + m_pool->used;
    memcpy(copy, text, length + 1);
    m_pool->used += static_cast<uint32_t>(length + 1);
    m_arguments[m_count] = copy;
    ++m_count;
    return true;
}

int CVXCommandLineTable::handleSectionLine(uint16_t /*sectionId*/, const char* line) {
    return append(line) ? 1 : 0;
}

void CVXCommandLineTable::expandOptionFile(const char* path) {
    CVXSectionFileReader reader;
    reader.registerSection("COMMANDLINE", 0, this);
    if (reader.readFile(path) == 0) {
        VXLog(0, VX_SEVERITY_ERROR, "Error opening command line option file %s", path);
    }
}

bool CVXCommandLineTable::build(int argc, char** argv) {
    if (isEvaluated()) {
        return true;
    }
    if (argc < 1 || argc > 100) {
        VXLog(0, VX_SEVERITY_NOTICE,
              "VXCommandLineOptions: _argc corrupt due to bug in statically linked libc on ARM");
        VXLog(0, VX_SEVERITY_NOTICE,
              "VXCommandLineOptions: command line arguments will NOT be evaluated");
        return false;
    }
    m_count = 0;
    for (int index = 0; argv != nullptr && index < argc && argv[index] != nullptr; ++index) {
        m_arguments[index] = argv[index];
        ++m_count;
    }
    // The count grows while files are expanded; their arguments are walked as well.
    for (int32_t index = 1; index < m_count; ++index) {
        if (m_arguments[index][0] == '@') {
            expandOptionFile(m_arguments[index] + 1);
        }
    }
    m_evaluated.store(true, std::memory_order_release);
    return true;
}

// The process's table: built under a lock created on first use and destroyed at exit. The table
// itself is never destroyed, so argument texts stay valid for exit handlers too.
static CVXCriticalSection& processTableLock() {
    static CVXCriticalSection lock;
    return lock;
}

static CVXCommandLineTable& processTable() {
    alignas(CVXCommandLineTable) static unsigned char storage[sizeof(CVXCommandLineTable)];
    static CVXCommandLineTable* const table = new (storage) CVXCommandLineTable();
    return *table;
}

static CVXCommandLineTable& builtProcessTable() {
    CVXCommandLineTable& table = processTable();
    if (table.isEvaluated()) {
        return table;
    }
    CVXCriticalSectionLock hold(processTableLock());
    if (!table.build(VXRuntimeArgc(), VXRuntimeArgv())) {
        VXRuntimeSetArgs(0, VXRuntimeArgv());
    }
    return table;
}

int32_t VXCommandLineOptions::getArgc() {
    return builtProcessTable().count();
}

char** VXCommandLineOptions::getArgv() {
    return builtProcessTable().arguments();
}

const char* VXCommandLineOptions::getArg(int32_t index) {
    return builtProcessTable().argument(index);
}
