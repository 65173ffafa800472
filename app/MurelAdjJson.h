// JSON output of the actions (--json): the one place where JSON text is formatted. The document
// layout shared by the actions (docs/json.md) is built from the parts below.
#pragma once

#include "foundation/CVXString.h"
#include "meta/MurelMeta.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

struct CMurelAdjOptions;

// Writes one compact JSON document to a stream: values, arrays and objects in the order they are
// given, commas placed by the writer. Text is buffered and written in chunks; finish ends the
// document with a line feed and flushes the stream.
class CMurelAdjJsonWriter {
public:
    explicit CMurelAdjJsonWriter(FILE* stream) : m_stream(stream) {}
    CMurelAdjJsonWriter(const CMurelAdjJsonWriter&) = delete;
    CMurelAdjJsonWriter& operator=(const CMurelAdjJsonWriter&) = delete;
    ~CMurelAdjJsonWriter() { flush(); }

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // The name of the next member of the enclosing object.
    void key(const char* name);

    // A string value. Quotes, backslashes and control characters are escaped; text that is not
    // well-formed UTF-8 gets U+FFFD ("\ufffd") for every byte outside a well-formed sequence, so
    // the document stays valid whatever the text holds.
    void string(const char* text, uint32_t length);
    void string(const CVXString& text) { string(text.c_str(), text.byteLength()); }
    void string(const char* text) { string(text, static_cast<uint32_t>(strlen(text))); }
    // Integers are written exactly, in decimal, whatever their size.
    void number(uint64_t value);
    void signedNumber(int64_t value);
    void boolean(bool value);
    void null();
    // A string of two upper-case hex digits per byte, in the order given.
    void hex(const uint8_t* bytes, uint32_t count);

    // A line feed after the document, then everything to the stream and the stream flushed.
    void finish();

private:
    void separate(); // the comma before a value, when one is due
    void put(char c);
    void put(const char* text, uint32_t length);
    void putDecimal(uint64_t value);
    void flush();

    FILE* m_stream;
    bool m_commaDue = false;
    uint32_t m_used = 0;
    char m_buffer[4096];
};

// The members every document starts with, after beginObject: "action" (the action's name) and
// "source", the block's origin: {"file": ...} when it is read from a file, else {"page": ...,
// "pagelock": ...} with the names used (option, environment or default).
void writeJsonHead(CMurelAdjJsonWriter& json, const char* action, const CMurelAdjOptions& options);

// "version": {"compiled": 2, "stored": <byte 8 of the block>}, and "reference": <its byte 8> when
// a reference block is given.
void writeJsonVersion(CMurelAdjJsonWriter& json, const uint8_t* block,
                      const uint8_t* reference = nullptr);

// The members "hex" (the bytes as the text line prints them, --endianness applied) and "values"
// (each element's hex read as an integer of the entry's data type: two's complement for INT types)
// of the entry at data.
void writeJsonEntryValue(CMurelAdjJsonWriter& json, const uint8_t* data,
                         const CMurelAdjTypeInfo& type, uint32_t endianness);

// The object of one entry: "name", "offset", "size" (bytes), "type", "count" (elements), "hex" and
// "values". An entry outside the block is reported, and written with empty "hex" and "values".
void writeJsonEntry(CMurelAdjJsonWriter& json, const CVXString& name, const uint8_t* block,
                    uint32_t length, uint32_t offset, const CMurelAdjTypeInfo& type,
                    uint32_t endianness);
