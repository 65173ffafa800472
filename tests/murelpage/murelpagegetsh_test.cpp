#include "tests/murelpage/MurelPageTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

namespace {

const uint32_t kBlockId = 0x800007F4u;

std::vector<uint8_t> blockBytes(uint8_t version) {
    std::vector<uint8_t> block(2036);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    block[8] = version;
    return block;
}

// Kind-1 id: field of the kind-0 entry parent at offset, explicit size when size > 0.
uint32_t fieldId(uint32_t parent, uint32_t offset, uint32_t size) {
    return 0x40000000u | (parent << 23) | (offset << 11) | (size > 0 ? (1u << 29) | size : 0u);
}

using Entries = std::vector<std::pair<uint32_t, uint16_t>>;

class MurelPageGetShTest : public testing::Test {
protected:
    // Fetches an item; bytes holds what was copied (nothing unless OK), m_length the length out.
    MurelPageGet_EResult fetch(uint32_t id, uint16_t version, std::vector<uint8_t>& bytes,
                               uint32_t capacity = 8192) {
        bytes.assign(capacity, 0);
        m_length = 0;
        const MurelPageGet_EResult result =
            MurelPageGetSh_getBuffer(id, version, bytes.data(), capacity, &m_length);
        bytes.resize(result == MurelPageGet_OK ? m_length : 0);
        return result;
    }
    // Loads a copy of raw entries (id, size) over bytes of 0x33 with the directory length given;
    // gap is the byte behind the last entry.
    static void loadEntries(const Entries& entries, uint16_t directoryLength, uint8_t gap) {
        std::vector<uint8_t> image(8192, 0x33);
        image[0] = 1;
        memcpy(&image[1], &directoryLength, 2);
        for (size_t i = 0; i < entries.size(); ++i) {
            memcpy(&image[3 + 6 * i], &entries[i].first, 4);
            memcpy(&image[3 + 6 * i + 4], &entries[i].second, 2);
        }
        image[3 + 6 * entries.size()] = gap;
        ASSERT_EQ(MurelPageGetSh_loadCopyForTesting(image.data()), MurelPageGet_OK);
    }

    CTestPage m_page{"client"};
    uint32_t m_length = 0;
};

TEST_F(MurelPageGetShTest, FailedAttachesTheirResultsAndLogLines) {
    for (const char* path : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_EQ(MurelPageGetSh_attach(path, "/lock"), MurelPageGet_UNKNOWN);
    }
    uint16_t version = 0xFFFF;
    EXPECT_EQ(MurelPageGetSh_getDataVersion(kBlockId, &version),
              MurelPageGet_PAGE_VERSION_MISMATCH);
    EXPECT_EQ(version, 0xFFFF);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(fetch(kBlockId, 0, bytes), MurelPageGet_UNKNOWN);
    EXPECT_EQ(MurelPageGetSh_updateImpl(), MurelPageGet_ERROR_ATTACH_SHMEM);

    CCapturedSlog log;
    EXPECT_EQ(m_page.attach(), MurelPageGet_ERROR_ATTACH_SHMEM); // no such page
    EXPECT_EQ(MurelPageGetSh_attach("/no/such", m_page.lock.c_str()),
              MurelPageGet_ERROR_ATTACH_SHMEM);
    const std::string function = murelPagePrefix("MURELPAGE_OPEN_SHARED_MEMORY_RONLY");
    const std::vector<std::string> expected = {
        function + "WARNING: shm_open('" + m_page.page +
            "'): failed as shared memory object does not exist, to be created",
        function + "ERROR: shm_open('/no/such'): failed with <22|Invalid argument>"};
    EXPECT_EQ(log.texts, expected);
    EXPECT_EQ(log.severities, (std::vector<int>{3, 2}));

    std::vector<uint8_t> image;
    ASSERT_TRUE(MurelPageImage_build({{kBlockId, 0, blockBytes(2)}}, image));
    for (uint32_t size : {1u, 100u, 8191u}) {
        ASSERT_TRUE(m_page.write(image, true, size));
        CCapturedSlog shortLog;
        EXPECT_EQ(m_page.attach(), MurelPageGet_ERROR_ATTACH_SHMEM) << size;
        EXPECT_EQ(shortLog.texts,
                  std::vector<std::string>{function + "ERROR: shared memory object '" +
                                           m_page.page + "' is shorter than 8192 bytes"});
    }
    ASSERT_TRUE(m_page.write(image, true, 8192));
    EXPECT_EQ(MurelPageGetSh_attach(m_page.page.c_str(), ""), MurelPageGet_ERROR_ATTACH_SHACC);
    EXPECT_EQ(MurelPageGetSh_attach(m_page.page.c_str(), nullptr), MurelPageGet_ERROR_ATTACH_SHACC);
    EXPECT_EQ(m_page.attach(), MurelPageGet_OK); // a failed attach can be repeated
}

// The copy is taken only when the change counter rose; a page whose format byte is not 1 fails
// the attach or the refresh and every read until a later attach sees it repaired. A page object
// that shrank is refused as at the first attach and the copy stays as it was, until it is whole
// again.
TEST_F(MurelPageGetShTest, AttachAndRefresh) {
    const auto OK = MurelPageGet_OK, BAD = MurelPageGet_ERROR_INIT_SYSPAGE,
               SHORT = MurelPageGet_ERROR_ATTACH_SHMEM;
    // The page written (value, counter raised, format byte, page size), the attach's result, the
    // value read then (0: none, the reads fail with PAGE_VERSION_MISMATCH).
    const std::tuple<uint8_t, bool, uint8_t, uint32_t, MurelPageGet_EResult, uint8_t> steps[] = {
        {1, true, 2, 8192, BAD, 0}, {1, true, 1, 8192, OK, 1},   {2, false, 1, 8192, OK, 1},
        {2, true, 1, 8192, OK, 2},  {5, true, 1, 100, SHORT, 2}, {5, false, 1, 8192, OK, 5},
        {3, true, 7, 8192, BAD, 0}, {4, true, 1, 8192, OK, 4}};
    for (const auto& [value, raiseCounter, format, size, attached, read] : steps) {
        SCOPED_TRACE(testing::Message() << int(value) << raiseCounter << int(format) << size);
        std::vector<uint8_t> image;
        ASSERT_TRUE(MurelPageImage_build({{0xC0000001u, 0, {value}}}, image, format));
        ASSERT_TRUE(m_page.write(image, raiseCounter, size));
        CCapturedSlog log;
        EXPECT_EQ(m_page.attach(), attached);
        EXPECT_EQ(log.texts, attached != SHORT
                                 ? std::vector<std::string>{}
                                 : std::vector<std::string>{
                                       murelPagePrefix("MURELPAGE_OPEN_SHARED_MEMORY_RONLY") +
                                       "ERROR: shared memory object '" + m_page.page +
                                       "' is shorter than 8192 bytes"});
        const MurelPageGet_EResult result = read != 0 ? OK : MurelPageGet_PAGE_VERSION_MISMATCH;
        uint16_t version = 0xFFFF;
        EXPECT_EQ(MurelPageGetSh_getDataVersion(0xC0000001u, &version), result);
        std::vector<uint8_t> bytes;
        EXPECT_EQ(fetch(0xC0000001u, 0, bytes), result);
        EXPECT_EQ(bytes, read != 0 ? std::vector<uint8_t>{read} : std::vector<uint8_t>{});
    }
}

TEST_F(MurelPageGetShTest, ItemsOfEveryKindWithTheirVersionChecks) {
    // The region is the first kind-2 entry, whatever its other bits.
    std::vector<uint8_t> image;
    ASSERT_TRUE(MurelPageImage_build({{0x7, 0x0102, {0xA1, 0xA2, 0xA3}},
                                      {0x3, 0x0500, {0x10, 0x11, 0x12, 0x13, 0x14}},
                                      {0x5, 0x0700, {0x50, 0x51, 0x52, 0x53, 0x54, 0x55}},
                                      {0xC0000010u, 0, {0xDE, 0xAD}},
                                      {0x80001234u, 0, blockBytes(3)}},
                                     image));
    ASSERT_EQ(MurelPageGetSh_loadCopyForTesting(image.data()), MurelPageGet_OK);
    const std::vector<uint8_t> block = blockBytes(3);
    // Id, version asked for, result (fetched with a 2036-byte buffer, 2000 for INVALID_SIZE), the
    // bytes (also the length given out of a found item), the stored version read.
    const std::tuple<uint32_t, uint16_t, MurelPageGet_EResult, std::vector<uint8_t>, uint16_t>
        cases[] = {
            {0x7, 0x0199, MurelPageGet_OK, {0xA1, 0xA2, 0xA3}, 0x0102}, // the high byte decides
            {0x7, 0x0202, MurelPageGet_ITEM_VERSION_MISMATCH, {}, 0x0102},
            {0x8, 0x0102, MurelPageGet_INVALID_ID, {}, 0xFFFF},
            {fieldId(5, 2, 0), 0x07FF, MurelPageGet_OK, {0x52}, 0x0700}, // without bit 29 one byte
            {fieldId(5, 1, 3), 0x0700, MurelPageGet_OK, {0x51, 0x52, 0x53}, 0x0700},
            {fieldId(3, 0, 2), 0x0500, MurelPageGet_OK, {0x10, 0x11}, 0x0500},
            {fieldId(5, 0, 0), 0x0800, MurelPageGet_ITEM_VERSION_MISMATCH, {}, 0x0700},
            {fieldId(9, 0, 0), 0x0700, MurelPageGet_INVALID_ID, {}, 0xFFFF},
            {0xC0000010u, 0x1234, MurelPageGet_OK, {0xDE, 0xAD}, 0}, // raw: no version check
            {0xC0000011u, 0, MurelPageGet_INVALID_ID, {}, 0xFFFF},
            {kBlockId, 0x0003, MurelPageGet_OK, block, 3}, // the region version: all 16 bits
            {kBlockId, 0x0103, MurelPageGet_ITEM_VERSION_MISMATCH, {}, 3},
            {kBlockId, 0x0002, MurelPageGet_ITEM_VERSION_MISMATCH, {}, 3},
            {kBlockId, 3, MurelPageGet_INVALID_SIZE, block, 3},
            {0x80100004u, 3, MurelPageGet_OK, {block.begin() + 16, block.begin() + 20}, 3},
        };
    for (const auto& [id, asked, result, expected, stored] : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << id << " " << asked);
        std::vector<uint8_t> bytes;
        EXPECT_EQ(fetch(id, asked, bytes, result == MurelPageGet_INVALID_SIZE ? 2000 : 2036),
                  result);
        EXPECT_EQ(m_length, expected.size());
        if (result == MurelPageGet_OK) {
            EXPECT_EQ(bytes, expected);
        }
        uint16_t version = 0xFFFF;
        EXPECT_EQ(MurelPageGetSh_getDataVersion(id, &version),
                  result == MurelPageGet_INVALID_ID ? MurelPageGet_INVALID_ID : MurelPageGet_OK);
        EXPECT_EQ(version, stored);
    }

    uint8_t buffer[4];
    uint32_t length = 0;
    EXPECT_EQ(MurelPageGetSh_getDataVersion(0xC0000010u, nullptr), MurelPageGet_UNKNOWN);
    EXPECT_EQ(MurelPageGetSh_getBuffer(0xC0000010u, 0, nullptr, 4, &length), MurelPageGet_UNKNOWN);
    EXPECT_EQ(MurelPageGetSh_getBuffer(0xC0000010u, 0, buffer, 4, nullptr), MurelPageGet_UNKNOWN);
}

// The page content is not trusted: nothing is read past the 8192-byte copy. Items are over bytes
// of 0x33, so the stored versions are 0x3333 and, for regions, 0x33.
TEST_F(MurelPageGetShTest, DirectoryAndItemBounds) {
    const Entries region = {{0x80000000u, 16}}, field = {{0xC0000001u, 7000}, {0x2, 4}};
    const Entries two = {{0xC0000001u, 2}, {0xC0000002u, 3}};
    const auto OK = MurelPageGet_OK, BAD = MurelPageGet_ERROR_INIT_SYSPAGE;
    const std::string past = " reaches past the page copy", at = past + " (position 6, size 8184)";
    const struct {
        Entries entries;
        uint16_t directoryLength;
        uint32_t id;
        MurelPageGet_EResult result;
        uint32_t size;
        std::string logged = ""; // the first log line, if any
        uint8_t gap = 0x33;
    } cases[] = {
        // Counted in whole entries: with 13 bytes the data starts at 3 + 13, behind the gap.
        {two, 13, 0xC0000002u, OK, 3, "", 0xEE},
        {two, 13, 0xC0000001u, OK, 2, "", 0xEE},
        {{{0xC0000001u, 1}}, 8190, 0xC0000001u, BAD, 0, "directory of 8190 bytes" + past},
        {{{0xC0000001u, 0}}, 8189, 0xC0000001u, OK, 0}, // ends at the end
        // Data starts at page offset 9: 8183 bytes fit, 8184 do not.
        {{{0xC0000001u, 8183}}, 6, 0xC0000001u, OK, 8183},
        {{{0xC0000001u, 8184}}, 6, 0xC0000001u, BAD, 0, "item 0xC0000001" + at},
        {{{0x00000004u, 1}}, 6, 0x4, BAD, 0}, // no room for the version
        // A region is located by its start only: the adjust block fits inside the copy.
        {region, 6, kBlockId, OK, 2036},
        {region, 6, 0x80001FF7u, OK, 8183},
        {region, 6, 0x80001FF8u, BAD, 0},
        // The region's 12-byte header would end past the copy.
        {{{0xC0000001u, 8173}, {0x80000000u, 4}}, 12, 0x80000001u, BAD, 0},
        // The value of item 2 starts at page offset 7017: 7017 + 1175 = 8192.
        {field, 12, fieldId(2, 1174, 1), OK, 1},
        {field, 12, fieldId(2, 1175, 1), BAD, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.id << " " << std::dec << c.size);
        loadEntries(c.entries, c.directoryLength, c.gap);
        CCapturedSlog log;
        uint16_t version = 0;
        EXPECT_EQ(MurelPageGetSh_getDataVersion(c.id, &version), c.result);
        std::vector<uint8_t> bytes;
        EXPECT_EQ(fetch(c.id, c.id >> 30 == 2 ? 0x33 : 0x3333, bytes), c.result);
        EXPECT_EQ(bytes, std::vector<uint8_t>(c.size, 0x33));
        if (!c.logged.empty()) {
            ASSERT_FALSE(log.texts.empty());
            EXPECT_EQ(log.texts[0],
                      murelPagePrefix("MurelPageGetSh_findItem") + "ERROR: " + c.logged);
        }
    }
}

TEST_F(MurelPageGetShTest, UninitialisedLockGivesLockTimeout) {
    ASSERT_TRUE(m_page.writeItems({{0xC0000001u, 0, {1}}}));
    {
        CMurelPageWriter writer;
        ASSERT_TRUE(writer.attachLock(m_page.lock));
        memset(&writer.accessObject()->lock, 0, sizeof(MurelRwLock));
    }
    CCapturedSlog log;
    EXPECT_EQ(m_page.attach(), MurelPageGet_LOCK_TIMEOUT);
    EXPECT_EQ(log.of("MurelShAccObj_timedLockROnly"),
              std::vector<std::string>{
                  "ERROR: pthread_rwlock_rdlock(): failed with <22|Invalid argument>"});
}

} // namespace
