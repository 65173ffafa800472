// Section-file reader of the option files.
#include "foundation/CVXSectionFileReader.h"

#include "foundation/VXAssert.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

int CVXSectionFileReader::SectionOrder::operator()(const Section& element,
                                                   const Section& key) const {
    return strcmp(element.name.c_str(), key.name.c_str());
}

int CVXSectionFileReader::registerSection(const char* name, uint32_t id,
                                          CVXSectionHandler* handler) {
    if (name == nullptr || handler == nullptr) {
        VXAssertionFailed(__LINE__, "CVXSectionFileReader", "Invalid parameter");
        return 0;
    }
    Section section;
    section.name = CVXString(name);
    section.id = id;
    section.handler = handler;
    return m_sections.insert(section) ? 1 : 0;
}

const CVXSectionFileReader::Section* CVXSectionFileReader::findSection(const char* name) const {
    Section key;
    key.name = CVXString(name);
    const int32_t position = m_sections.lowerBound(key);
    if (position < m_sections.size() && strcmp(m_sections[position].name.c_str(), name) == 0) {
        return &m_sections[position];
    }
    return nullptr;
}

uint32_t CVXSectionFileReader::stripLine(char* line) {
    char* search = line;
    while ((search = strchr(search, '#')) != nullptr) {
        if (search > line && search[-1] == '\\') {
            // "\#": drop the backslash, keep the "#" and go on behind it.
            memmove(search - 1, search, strlen(search) + 1);
            continue;
        }
        *search = '\0';
        break;
    }
    size_t length = strlen(line);
    // Bytes 0x80 and above belong to UTF-8 characters and stay.
    while (length > 0 && static_cast<unsigned char>(line[length - 1]) <= 32) {
        --length;
    }
    line[length] = '\0';
    return static_cast<uint32_t>(length);
}

int CVXSectionFileReader::readFile(const char* path) {
    if (path == nullptr) {
        return 0;
    }
    FILE* file = nullptr;
    do {
        file = fopen(path, "r");
    } while (file == nullptr && errno == EINTR);
    if (file == nullptr) {
        return 0;
    }

    // The current section, copied: a handler may register further sections while the file is read.
    CVXSectionHandler* handler = nullptr;
    uint16_t sectionId = 0;
    char line[MAX_READ_LENGTH + 1];
    for (;;) {
        errno = 0;
        if (fgets(line, sizeof line, file) == nullptr) {
            if (ferror(file) != 0 && errno == EINTR) {
                clearerr(file);
                continue;
            }
            break;
        }
        if (stripLine(line) == 0) {
            continue;
        }
        if (line[0] == '[') {
            char* close = strchr(line + 1, ']');
            handler = nullptr;
            if (close != nullptr) {
                *close = '\0';
                const Section* section = findSection(line + 1);
                if (section != nullptr) {
                    handler = section->handler;
                    sectionId = static_cast<uint16_t>(section->id);
                }
            }
            continue;
        }
        if (handler != nullptr && handler->handleSectionLine(sectionId, line) == 0) {
            break;
        }
    }
    fclose(file);
    return 1;
}
