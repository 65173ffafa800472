// Write side of the MurelPage, for the host-side page writer and tests: creates or opens the page
// and its shared access object, writes page images under the write lock and raises the change
// counter and time stamp. Not part of the read-only page client.
#pragma once

#include "murelpage/MurelPageGet.h"
#include "murelpage/murelshaccobj.h"

#include <cstdint>
#include <string>
#include <vector>

class CMurelPageWriter {
public:
    CMurelPageWriter() = default;
    ~CMurelPageWriter();
    CMurelPageWriter(const CMurelPageWriter&) = delete;
    CMurelPageWriter& operator=(const CMurelPageWriter&) = delete;

    // Opens the page read-write, creating it (mode 0644) when missing and resizing it to pageSize,
    // then attaches the access object (created when missing, as the page client does).
    bool open(const std::string& pagePath, const std::string& lockPath,
              uint32_t pageSize = MURELPAGE_SIZE);
    // Attaches the access object only.
    bool attachLock(const std::string& lockPath);

    // Takes the write lock, copies image into the page (zero-padded or cut to the page size),
    // raises the change counter and stores the time (unless raiseCounter is false), unlocks.
    bool write(const std::vector<uint8_t>& image, bool raiseCounter = true);

    // Raises the change counter by one and stores the current time; call with the write lock held.
    void markChanged();

    MurelShAccObj* accessObject() const { return m_object; }
    uint8_t* page() const { return m_page; }
    uint32_t pageSize() const { return m_pageSize; }
    const std::string& error() const { return m_error; }

    // Removes both objects; objects that do not exist are no error. False with a message otherwise.
    static bool remove(const std::string& pagePath, const std::string& lockPath,
                       std::string& error);

private:
    bool fail(const std::string& message);
    void close();

    uint8_t* m_page = nullptr;
    uint32_t m_pageSize = 0;
    MurelShAccObj* m_object = nullptr;
    std::string m_error;
};
