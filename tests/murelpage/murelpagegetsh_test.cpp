#include "murelpage/MurelPageGet.h"
#include "murelpage/murelpagegetsh.h"
#include "tests/murelpage/MurelPageTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

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
    uint32_t id = 0x40000000u | (parent << 23) | (offset << 11);
    if (size > 0) {
        id |= (1u << 29) | size;
    }
    return id;
}

class MurelPageGetShTest : public testing::Test {
protected:
    void SetUp() override { MurelPageGetSh_resetForTesting(); }
    void TearDown() override { MurelPageGetSh_resetForTesting(); }

    MurelPageGet_EResult attach() {
        return MurelPageGetSh_attach(m_page.page().c_str(), m_page.lock().c_str());
    }
    MurelPageGet_EResult fetch(uint32_t id, uint16_t version, std::vector<uint8_t>& bytes,
                               uint32_t capacity = 8192) {
        bytes.assign(capacity, 0);
        uint32_t length = 0;
        const MurelPageGet_EResult result =
            MurelPageGetSh_getBuffer(id, version, bytes.data(), capacity, &length);
        m_length = length;
        bytes.resize(result == MurelPageGet_OK ? length : 0);
        return result;
    }

    CTestPage m_page{"client"};
    uint32_t m_length = 0;
};

TEST_F(MurelPageGetShTest, EmptyOrMissingPagePathGivesUnknownAndStaysUnattached) {
    EXPECT_EQ(MurelPageGetSh_attach(nullptr, "/lock"), MurelPageGet_UNKNOWN);
    EXPECT_EQ(MurelPageGetSh_attach("", "/lock"), MurelPageGet_UNKNOWN);
    uint16_t version = 0xFFFF;
    EXPECT_EQ(MurelPageGetSh_getDataVersion(kBlockId, &version),
              MurelPageGet_PAGE_VERSION_MISMATCH);
    EXPECT_EQ(version, 0xFFFF);
    uint8_t buffer[16];
    uint32_t length = 0;
    EXPECT_EQ(MurelPageGetSh_getBuffer(kBlockId, 0, buffer, sizeof(buffer), &length),
              MurelPageGet_UNKNOWN);
}

TEST_F(MurelPageGetShTest, MissingPageLogsTheWarningAndGivesAttachShmem) {
    CCapturedSlog log;
    EXPECT_EQ(attach(), MurelPageGet_ERROR_ATTACH_SHMEM);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].opcode, 0x100002);
    EXPECT_EQ(log.lines()[0].severity, 3);
    EXPECT_EQ(log.lines()[0].text, murelPagePrefix("MURELPAGE_OPEN_SHARED_MEMORY_RONLY") +
                                       "WARNING: shm_open('" + m_page.page() +
                                       "'): failed as shared memory object does not exist, to be "
                                       "created");
}

TEST_F(MurelPageGetShTest, OtherOpenErrorsAreLoggedWithTheirErrno) {
    CCapturedSlog log;
    EXPECT_EQ(MurelPageGetSh_attach("/no/such", m_page.lock().c_str()),
              MurelPageGet_ERROR_ATTACH_SHMEM);
    EXPECT_EQ(log.texts(), std::vector<std::string>{
                               murelPagePrefix("MURELPAGE_OPEN_SHARED_MEMORY_RONLY") +
                               "ERROR: shm_open('/no/such'): failed with <22|Invalid argument>"});
}

TEST_F(MurelPageGetShTest, RefreshWithoutAttachmentGivesAttachShmem) {
    EXPECT_EQ(MurelPageGetSh_updateImpl(), MurelPageGet_ERROR_ATTACH_SHMEM);
}

TEST_F(MurelPageGetShTest, ShortPageIsRefusedWithoutTouchingIt) {
    std::vector<uint8_t> image;
    ASSERT_TRUE(MurelPageImage_build({{kBlockId, 0, blockBytes(2)}}, image));
    for (uint32_t size : {1u, 100u, 8191u}) {
        ASSERT_TRUE(m_page.write(image, true, size));
        CCapturedSlog log;
        EXPECT_EQ(attach(), MurelPageGet_ERROR_ATTACH_SHMEM) << size;
        EXPECT_EQ(log.count("ERROR: shared memory object '" + m_page.page() +
                            "' is shorter than 8192 bytes"),
                  1u);
    }
    // A later attempt with a full page succeeds.
    ASSERT_TRUE(m_page.write(image, true, 8192));
    EXPECT_EQ(attach(), MurelPageGet_OK);
}

TEST_F(MurelPageGetShTest, EmptyLockPathGivesAttachShacc) {
    ASSERT_TRUE(m_page.writeItems({{kBlockId, 0, blockBytes(2)}}));
    EXPECT_EQ(MurelPageGetSh_attach(m_page.page().c_str(), ""), MurelPageGet_ERROR_ATTACH_SHACC);
    EXPECT_EQ(MurelPageGetSh_attach(m_page.page().c_str(), nullptr),
              MurelPageGet_ERROR_ATTACH_SHACC);
    // The failed attach can be repeated.
    EXPECT_EQ(attach(), MurelPageGet_OK);
}

TEST_F(MurelPageGetShTest, FormatByteOtherThanOneFailsTheAttachAndTheReads) {
    ASSERT_TRUE(m_page.writeItems({{kBlockId, 0, blockBytes(2)}}, 2));
    EXPECT_EQ(attach(), MurelPageGet_ERROR_INIT_SYSPAGE);
    uint16_t version = 0xFFFF;
    EXPECT_EQ(MurelPageGetSh_getDataVersion(kBlockId, &version),
              MurelPageGet_PAGE_VERSION_MISMATCH);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(fetch(kBlockId, 2, bytes), MurelPageGet_PAGE_VERSION_MISMATCH);
    // The attach state is 8: the next attach starts over and sees the repaired page.
    ASSERT_TRUE(m_page.writeItems({{kBlockId, 0, blockBytes(2)}}, 1));
    EXPECT_EQ(attach(), MurelPageGet_OK);
    EXPECT_EQ(MurelPageGetSh_getDataVersion(kBlockId, &version), MurelPageGet_OK);
    EXPECT_EQ(version, 2);
}

TEST_F(MurelPageGetShTest, AdjustBlockIsReadAsWrapperDoes) {
    ASSERT_TRUE(m_page.writeItems({{0x1, 0x0102, {1, 2, 3, 4}}, {kBlockId, 0, blockBytes(2)}}));
    ASSERT_EQ(attach(), MurelPageGet_OK);
    uint16_t version = 0xFFFF;
    ASSERT_EQ(MurelPageGetSh_getDataVersion(kBlockId, &version), MurelPageGet_OK);
    EXPECT_EQ(version, 2);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(fetch(kBlockId, version, bytes, 2036), MurelPageGet_OK);
    EXPECT_EQ(bytes, blockBytes(2));
}

TEST_F(MurelPageGetShTest, RegionVersionMustMatchExactly) {
    ASSERT_TRUE(m_page.writeItems({{kBlockId, 0, blockBytes(3)}}));
    ASSERT_EQ(attach(), MurelPageGet_OK);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(fetch(kBlockId, 0x0003, bytes, 2036), MurelPageGet_OK);
    EXPECT_EQ(fetch(kBlockId, 0x0103, bytes, 2036), MurelPageGet_ITEM_VERSION_MISMATCH);
    EXPECT_EQ(fetch(kBlockId, 0x0002, bytes, 2036), MurelPageGet_ITEM_VERSION_MISMATCH);
}

TEST_F(MurelPageGetShTest, RegionItemsAreFoundByKindWithOffsetAndSize) {
    // The first kind-2 entry is the region, whatever its other bits.
    ASSERT_TRUE(m_page.writeItems({{0xC0000001u, 0, {9, 9}}, {0x80001234u, 0, blockBytes(5)}}));
    ASSERT_EQ(attach(), MurelPageGet_OK);
    uint16_t version = 0;
    ASSERT_EQ(MurelPageGetSh_getDataVersion(0x80100004u, &version), MurelPageGet_OK);
    EXPECT_EQ(version, 5);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(fetch(0x80100004u, 5, bytes), MurelPageGet_OK); // offset 16, size 4
    const std::vector<uint8_t> block = blockBytes(5);
    EXPECT_EQ(bytes, std::vector<uint8_t>(block.begin() + 16, block.begin() + 20));
}

TEST_F(MurelPageGetShTest, BlockIntoSmallBufferGivesInvalidSizeAndItsLength) {
    ASSERT_TRUE(m_page.writeItems({{kBlockId, 0, blockBytes(2)}}));
    ASSERT_EQ(attach(), MurelPageGet_OK);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(fetch(kBlockId, 2, bytes, 2000), MurelPageGet_INVALID_SIZE);
    EXPECT_EQ(m_length, 2036u);
}

TEST_F(MurelPageGetShTest, ValueItemsCompareTheHighByteOfTheirVersion) {
    ASSERT_TRUE(m_page.writeItems({{0x7, 0x0102, {0xA1, 0xA2, 0xA3}}}));
    ASSERT_EQ(attach(), MurelPageGet_OK);
    uint16_t version = 0;
    ASSERT_EQ(MurelPageGetSh_getDataVersion(0x7, &version), MurelPageGet_OK);
    EXPECT_EQ(version, 0x0102);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(fetch(0x7, 0x0199, bytes), MurelPageGet_OK);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0xA1, 0xA2, 0xA3}));
    EXPECT_EQ(fetch(0x7, 0x0202, bytes), MurelPageGet_ITEM_VERSION_MISMATCH);
    EXPECT_EQ(fetch(0x8, 0x0102, bytes), MurelPageGet_INVALID_ID);
    EXPECT_EQ(MurelPageGetSh_getDataVersion(0x8, &version), MurelPageGet_INVALID_ID);
}

TEST_F(MurelPageGetShTest, FieldsOfValueItems) {
    ASSERT_TRUE(m_page.writeItems({{0x3, 0x0500, {0x10, 0x11, 0x12, 0x13, 0x14}},
                                   {0x5, 0x0700, {0x50, 0x51, 0x52, 0x53, 0x54, 0x55}}}));
    ASSERT_EQ(attach(), MurelPageGet_OK);
    std::vector<uint8_t> bytes;
    // Without bit 29 exactly one byte.
    ASSERT_EQ(fetch(fieldId(5, 2, 0), 0x07FF, bytes), MurelPageGet_OK);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x52}));
    ASSERT_EQ(fetch(fieldId(5, 1, 3), 0x0700, bytes), MurelPageGet_OK);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x51, 0x52, 0x53}));
    ASSERT_EQ(fetch(fieldId(3, 0, 2), 0x0500, bytes), MurelPageGet_OK);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x10, 0x11}));
    uint16_t version = 0;
    ASSERT_EQ(MurelPageGetSh_getDataVersion(fieldId(5, 0, 0), &version), MurelPageGet_OK);
    EXPECT_EQ(version, 0x0700);
    EXPECT_EQ(fetch(fieldId(5, 0, 0), 0x0800, bytes), MurelPageGet_ITEM_VERSION_MISMATCH);
    EXPECT_EQ(fetch(fieldId(9, 0, 0), 0x0700, bytes), MurelPageGet_INVALID_ID);
}

TEST_F(MurelPageGetShTest, RawItemsHaveNoVersion) {
    ASSERT_TRUE(m_page.writeItems({{0xC0000010u, 0, {0xDE, 0xAD}}}));
    ASSERT_EQ(attach(), MurelPageGet_OK);
    uint16_t version = 0xFFFF;
    ASSERT_EQ(MurelPageGetSh_getDataVersion(0xC0000010u, &version), MurelPageGet_OK);
    EXPECT_EQ(version, 0);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(fetch(0xC0000010u, 0x1234, bytes), MurelPageGet_OK);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0xDE, 0xAD}));
    EXPECT_EQ(fetch(0xC0000011u, 0, bytes), MurelPageGet_INVALID_ID);
    EXPECT_EQ(fetch(kBlockId, 0, bytes), MurelPageGet_INVALID_ID); // no region in this page
}

TEST_F(MurelPageGetShTest, DirectoryLengthIsCountedInWholeEntries) {
    // D = 13: two entries, the data area starts at 3 + 13.
    std::vector<uint8_t> image(8192, 0);
    image[0] = 1;
    image[1] = 13;
    const uint32_t ids[2] = {0xC0000001u, 0xC0000002u};
    const uint16_t sizes[2] = {2, 3};
    for (int i = 0; i < 2; ++i) {
        memcpy(&image[3 + 6 * i], &ids[i], 4);
        memcpy(&image[3 + 6 * i + 4], &sizes[i], 2);
    }
    image[15] = 0xEE; // the 13th directory byte, not data
    const uint8_t data[5] = {0x11, 0x12, 0x21, 0x22, 0x23};
    memcpy(&image[16], data, sizeof(data));
    ASSERT_TRUE(m_page.write(image));
    ASSERT_EQ(attach(), MurelPageGet_OK);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(fetch(0xC0000002u, 0, bytes), MurelPageGet_OK);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x21, 0x22, 0x23}));
}

TEST_F(MurelPageGetShTest, MissingArgumentsGiveUnknown) {
    ASSERT_TRUE(m_page.writeItems({{0xC0000010u, 0, {1}}}));
    ASSERT_EQ(attach(), MurelPageGet_OK);
    uint8_t buffer[4];
    uint32_t length = 0;
    EXPECT_EQ(MurelPageGetSh_getDataVersion(0xC0000010u, nullptr), MurelPageGet_UNKNOWN);
    EXPECT_EQ(MurelPageGetSh_getBuffer(0xC0000010u, 0, nullptr, 4, &length), MurelPageGet_UNKNOWN);
    EXPECT_EQ(MurelPageGetSh_getBuffer(0xC0000010u, 0, buffer, 4, nullptr), MurelPageGet_UNKNOWN);
}

// The page content is not trusted: nothing is read past the 8192-byte copy.
class MurelPageGetShBoundsTest : public MurelPageGetShTest {
protected:
    // A page with one directory entry (id, size) and format 1; the directory length as given.
    void writeEntry(uint32_t id, uint16_t size, uint16_t directoryLength = 6) {
        std::vector<uint8_t> image(8192, 0x33);
        image[0] = 1;
        memcpy(&image[1], &directoryLength, 2);
        memcpy(&image[3], &id, 4);
        memcpy(&image[7], &size, 2);
        ASSERT_TRUE(m_page.write(image));
    }
};

TEST_F(MurelPageGetShBoundsTest, DirectoryReachingPastTheCopyIsRejected) {
    writeEntry(0xC0000001u, 1, 8190);
    ASSERT_EQ(attach(), MurelPageGet_OK);
    CCapturedSlog log;
    uint16_t version = 0;
    EXPECT_EQ(MurelPageGetSh_getDataVersion(0xC0000001u, &version),
              MurelPageGet_ERROR_INIT_SYSPAGE);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].text, murelPagePrefix("MurelPageGetSh_findItem") +
                                       "ERROR: directory of 8190 bytes reaches past the page copy");
    std::vector<uint8_t> bytes;
    EXPECT_EQ(fetch(0xC0000001u, 0, bytes), MurelPageGet_ERROR_INIT_SYSPAGE);
}

TEST_F(MurelPageGetShBoundsTest, LargestDirectoryThatFitsIsWalked) {
    writeEntry(0xC0000001u, 0, 8189); // ends exactly at the end of the copy
    ASSERT_EQ(attach(), MurelPageGet_OK);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(fetch(0xC0000001u, 0, bytes), MurelPageGet_OK);
    EXPECT_EQ(bytes.size(), 0u);
    EXPECT_EQ(fetch(0xC0000002u, 0, bytes), MurelPageGet_INVALID_ID);
}

TEST_F(MurelPageGetShBoundsTest, ItemReachingPastTheCopyIsRejectedByEveryKind) {
    // Data starts at page offset 9: 8183 bytes fit, 8184 do not.
    writeEntry(0xC0000001u, 8183);
    ASSERT_EQ(attach(), MurelPageGet_OK);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(fetch(0xC0000001u, 0, bytes), MurelPageGet_OK);
    EXPECT_EQ(bytes.size(), 8183u);

    for (uint32_t id : {0xC0000001u, 0x00000001u}) {
        writeEntry(id, 8184);
        ASSERT_EQ(attach(), MurelPageGet_OK);
        CCapturedSlog log;
        uint16_t version = 0;
        EXPECT_EQ(MurelPageGetSh_getDataVersion(id, &version), MurelPageGet_ERROR_INIT_SYSPAGE);
        EXPECT_EQ(fetch(id, 0x3333, bytes), MurelPageGet_ERROR_INIT_SYSPAGE);
        ASSERT_FALSE(log.lines().empty());
        EXPECT_EQ(log.lines()[0].text,
                  murelPagePrefix("MurelPageGetSh_findItem") + "ERROR: item 0x" +
                      (id == 1 ? std::string("00000001") : std::string("C0000001")) +
                      " reaches past the page copy (position 6, size 8184)");
    }
}

TEST_F(MurelPageGetShBoundsTest, ValueEntryShorterThanItsVersionIsRejected) {
    writeEntry(0x00000004u, 1);
    ASSERT_EQ(attach(), MurelPageGet_OK);
    uint16_t version = 0;
    EXPECT_EQ(MurelPageGetSh_getDataVersion(0x4, &version), MurelPageGet_ERROR_INIT_SYSPAGE);
}

TEST_F(MurelPageGetShBoundsTest, RegionAndFieldItemsMustStayInsideTheCopy) {
    writeEntry(0x80000000u, 16); // region at data position 6 (page offset 9)
    ASSERT_EQ(attach(), MurelPageGet_OK);
    uint16_t version = 0;
    // The adjust block id asks for 2036 bytes: inside the copy, so it is handed out.
    EXPECT_EQ(MurelPageGetSh_getDataVersion(kBlockId, &version), MurelPageGet_OK);
    EXPECT_EQ(version, 0x33);
    // Offset 0x3FFF + size 0xFFFF reaches far past the copy.
    EXPECT_EQ(MurelPageGetSh_getDataVersion(0xBFFFFFFFu, &version),
              MurelPageGet_ERROR_INIT_SYSPAGE);
    // The region starts at page offset 9: 8183 bytes fit, 8184 do not.
    std::vector<uint8_t> bytes;
    EXPECT_EQ(fetch(0x80001FF7u, 0x33, bytes), MurelPageGet_OK);
    EXPECT_EQ(bytes.size(), 8183u);
    EXPECT_EQ(fetch(0x80001FF8u, 0x33, bytes), MurelPageGet_ERROR_INIT_SYSPAGE);
}

TEST_F(MurelPageGetShBoundsTest, RegionHeaderPastTheCopyIsRejected) {
    // The region starts 4 bytes before the end: its version byte 8 lies outside.
    std::vector<uint8_t> image(8192, 0);
    image[0] = 1;
    const uint16_t directoryLength = 12;
    memcpy(&image[1], &directoryLength, 2);
    const uint32_t ids[2] = {0xC0000001u, 0x80000000u};
    const uint16_t sizes[2] = {8192 - 3 - 12 - 4, 4};
    for (int i = 0; i < 2; ++i) {
        memcpy(&image[3 + 6 * i], &ids[i], 4);
        memcpy(&image[3 + 6 * i + 4], &sizes[i], 2);
    }
    ASSERT_TRUE(m_page.write(image));
    ASSERT_EQ(attach(), MurelPageGet_OK);
    uint16_t version = 0;
    EXPECT_EQ(MurelPageGetSh_getDataVersion(0x80000001u, &version),
              MurelPageGet_ERROR_INIT_SYSPAGE);
}

TEST_F(MurelPageGetShBoundsTest, FieldPastTheCopyIsRejected) {
    // A raw filler of 7000 bytes, then the value item 2: its value starts at page offset 7017.
    std::vector<uint8_t> filler(7000, 0x44);
    ASSERT_TRUE(m_page.writeItems({{0xC0000001u, 0, filler}, {0x2, 0x0300, {0x61, 0x62}}}));
    ASSERT_EQ(attach(), MurelPageGet_OK);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(fetch(fieldId(2, 1, 0), 0x0300, bytes), MurelPageGet_OK);
    EXPECT_EQ(bytes, std::vector<uint8_t>{0x62});
    // 7017 + 1175 = 8192: the last byte of the copy is still inside, one more is not.
    EXPECT_EQ(fetch(fieldId(2, 1174, 1), 0x0300, bytes), MurelPageGet_OK);
    EXPECT_EQ(fetch(fieldId(2, 1175, 1), 0x0300, bytes), MurelPageGet_ERROR_INIT_SYSPAGE);
    uint16_t version = 0;
    EXPECT_EQ(MurelPageGetSh_getDataVersion(fieldId(2, 1000, 200), &version),
              MurelPageGet_ERROR_INIT_SYSPAGE);
}

TEST_F(MurelPageGetShTest, RepeatedAttachCopiesOnlyWhenTheCounterRose) {
    ASSERT_TRUE(m_page.writeItems({{0xC0000001u, 0, {1}}}));
    ASSERT_EQ(attach(), MurelPageGet_OK);
    std::vector<uint8_t> image;
    ASSERT_TRUE(MurelPageImage_build({{0xC0000001u, 0, {2}}}, image));
    ASSERT_TRUE(m_page.write(image, false)); // changed, counter not raised
    EXPECT_EQ(attach(), MurelPageGet_OK);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(fetch(0xC0000001u, 0, bytes), MurelPageGet_OK);
    EXPECT_EQ(bytes, std::vector<uint8_t>{1});
    ASSERT_TRUE(m_page.write(image, true));
    EXPECT_EQ(attach(), MurelPageGet_OK);
    ASSERT_EQ(fetch(0xC0000001u, 0, bytes), MurelPageGet_OK);
    EXPECT_EQ(bytes, std::vector<uint8_t>{2});
    // A broken page after attach: the refresh reports it, the state stays attached.
    ASSERT_TRUE(MurelPageImage_build({{0xC0000001u, 0, {3}}}, image, 7));
    ASSERT_TRUE(m_page.write(image, true));
    EXPECT_EQ(attach(), MurelPageGet_ERROR_INIT_SYSPAGE);
    EXPECT_EQ(fetch(0xC0000001u, 0, bytes), MurelPageGet_PAGE_VERSION_MISMATCH);
    ASSERT_TRUE(MurelPageImage_build({{0xC0000001u, 0, {4}}}, image));
    ASSERT_TRUE(m_page.write(image, true));
    EXPECT_EQ(attach(), MurelPageGet_OK);
    ASSERT_EQ(fetch(0xC0000001u, 0, bytes), MurelPageGet_OK);
    EXPECT_EQ(bytes, std::vector<uint8_t>{4});
}

TEST_F(MurelPageGetShTest, UninitialisedLockGivesLockTimeout) {
    ASSERT_TRUE(m_page.writeItems({{0xC0000001u, 0, {1}}}));
    {
        // Zero the lock words of the access object: its lock is no longer initialised.
        CMurelPageWriter writer;
        ASSERT_TRUE(writer.attachLock(m_page.lock()));
        memset(&writer.accessObject()->lock, 0, sizeof(MurelRwLock));
    }
    CCapturedSlog log;
    EXPECT_EQ(attach(), MurelPageGet_LOCK_TIMEOUT);
    EXPECT_EQ(log.count("ERROR: pthread_rwlock_rdlock(): failed with <22|Invalid argument>"), 1u);
}

} // namespace
