// CVXSectionFileReader: reads a text file of "[SECTION]" headers and lines and hands the lines of
// registered sections to their handlers.
//
// File format: "#" starts a comment to the end of the line ("\#" is a literal "#"); trailing white
// space and control characters are removed, leading ones stay; empty lines are skipped. A line
// starting with "[" names a section (the text up to the first "]"); one without "]", or the name
// of an unregistered section, ends the current section. Other lines go whole to the handler of the
// current section; lines outside a registered section are ignored. A line is read in pieces of at
// most 1023 characters; the rest of a longer line continues as the next line.
#pragma once

#include "foundation/CVXString.h"
#include "foundation/TVXVector.h"

#include <cstdint>

class CVXSectionHandler {
public:
    // One line of a registered section; non-zero goes on reading, 0 stops.
    virtual int handleSectionLine(uint16_t sectionId, const char* line) = 0;
    virtual ~CVXSectionHandler() = default;
};

class CVXSectionFileReader {
public:
    // Characters taken from the file per read.
    static constexpr uint32_t MAX_READ_LENGTH = 1023;

    // Registers a section name with an id (handed to the handler as 16 bits) and its handler.
    // Returns 1 when inserted, 0 when the name is already registered (or an argument is missing).
    int registerSection(const char* name, uint32_t id, CVXSectionHandler* handler);

    // Reads the file: 0 when it cannot be opened, else 1 (also when a handler stopped the reading).
    int readFile(const char* path);

    // Removes the comment and the trailing white space and control characters of one line in
    // place; returns the remaining length.
    static uint32_t stripLine(char* line);

private:
    struct Section {
        CVXString name;
        uint32_t id = 0;
        CVXSectionHandler* handler = nullptr;
    };
    // strcmp of the element's name against the key's: names stand in descending byte order.
    struct SectionOrder {
        int operator()(const Section& element, const Section& key) const;
    };

    const Section* findSection(const char* name) const;

    TVXSortedVector<Section, SectionOrder> m_sections{false};
};
