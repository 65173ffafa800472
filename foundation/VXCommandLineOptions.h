// VXCommandLineOptions: the program's argument list, with "@file" expansion.
//
// The process's arguments come from the runtime's argument vector; an argument "@<file>" stays in
// its slot and the lines of the file's [COMMANDLINE] section are appended as further arguments
// (option files may name further option files), up to 128 arguments in all. The table is built on
// the first query and then never changes.
#pragma once

#include "foundation/CVXSectionFileReader.h"

#include <atomic>
#include <cstdint>

class VXCommandLineOptions {
public:
    static constexpr int32_t MAX_ARGUMENTS = 128;

    // Argument count (0 to 128); builds the table on first use.
    static int32_t getArgc();
    // The argument slots; builds the table on first use.
    static char** getArgv();
    // Argument text, or null for an index below 0 or not below the count.
    static const char* getArg(int32_t index);
};

// An argument table. The process has one, built from the runtime's argument vector and used by
// VXCommandLineOptions; tests build their own from vectors they make.
class CVXCommandLineTable : private CVXSectionHandler {
public:
    // The text pool grows in steps of this many bytes.
    static constexpr uint32_t POOL_STEP = 1024;

    CVXCommandLineTable() = default;
    ~CVXCommandLineTable() override;
    CVXCommandLineTable(const CVXCommandLineTable&) = delete;
    CVXCommandLineTable& operator=(const CVXCommandLineTable&) = delete;

    // Builds the table once from a process argument vector: an implausible count (not 1 to 100)
    // logs the two notices and leaves the table empty and unevaluated (false); otherwise the
    // argument pointers are taken over (up to the first missing one), every "@" argument is
    // expanded, and the table is marked evaluated (true). Not thread-safe: the caller serialises.
    bool build(int argc, char** argv);

    bool isEvaluated() const { return m_evaluated.load(std::memory_order_acquire); }
    int32_t count() const { return m_count; }
    // The slots; the one behind the last argument is null.
    char** arguments() { return m_arguments; }
    // Argument text, or null for an index below 0 or not below the count.
    const char* argument(int32_t index) const;

    // Copies text into the pool and puts it into the next slot. false (nothing appended) when the
    // text is missing, the table is full or the pool cannot grow.
    bool append(const char* text);

private:
    struct PoolChunk;

    int handleSectionLine(uint16_t sectionId, const char* line) override;
    void expandOptionFile(const char* path);

    int32_t m_count = 0;
    char* m_arguments[VXCommandLineOptions::MAX_ARGUMENTS + 1] = {};
    // Texts of appended arguments, in chunks that never move: a full chunk is kept and a new one
    // started, so earlier texts stay valid.
    PoolChunk* m_pool = nullptr;
    std::atomic<bool> m_evaluated{false};
};
