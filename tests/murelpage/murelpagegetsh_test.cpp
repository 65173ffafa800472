// The page client: attach and refresh on pages made by the page writer, lookups inside the private
// copy, and a writer process that holds the page's lock meanwhile.
#include "tests/murelpage/MurelPageTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <tuple>

namespace {

const uint32_t kRawId = 0xC0000001u;
const auto OK = MurelPageGet_OK, BAD = MurelPageGet_ERROR_INIT_SYSPAGE,
           SHORT = MurelPageGet_ERROR_ATTACH_SHMEM;

// A page image of one item.
std::vector<uint8_t> image(uint32_t id, const std::vector<uint8_t>& bytes, uint8_t format = 1) {
    std::vector<uint8_t> page;
    EXPECT_TRUE(MurelPageImage_build({{id, 0, bytes}}, page, format));
    return page;
}

// Reads an item into bytes (none unless OK).
MurelPageGet_EResult fetch(uint32_t id, uint16_t version, std::vector<uint8_t>& bytes) {
    bytes.assign(MURELPAGE_SIZE, 0);
    uint32_t length = 0;
    const MurelPageGet_EResult result =
        MurelPageGetSh_getBuffer(id, version, bytes.data(), MURELPAGE_SIZE, &length);
    bytes.resize(result == OK ? length : 0);
    return result;
}

class MurelPageGetShTest : public testing::Test {
protected:
    CTestPage m_page{"client"};
};

// The copy is taken only when the change counter rose; a format byte other than 1 fails the
// attach and every read until repaired. A page that shrank is refused, the copy kept as it was.
TEST_F(MurelPageGetShTest, AttachAndRefresh) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(MurelPageGetSh_attach(nullptr, "/lock"), MurelPageGet_UNKNOWN);
    EXPECT_EQ(MurelPageGetSh_attach("", "/lock"), MurelPageGet_UNKNOWN);
    EXPECT_EQ(fetch(kRawId, 0, bytes), MurelPageGet_UNKNOWN);
    EXPECT_EQ(MurelPageGetSh_updateImpl(), SHORT);
    ASSERT_TRUE(m_page.write(image(kRawId, {1}), true, 8191));
    EXPECT_EQ(m_page.attach(), SHORT);
    ASSERT_TRUE(m_page.write(image(kRawId, {1})));
    EXPECT_EQ(MurelPageGetSh_attach(m_page.page.c_str(), ""), MurelPageGet_ERROR_ATTACH_SHACC);
    EXPECT_EQ(MurelPageGetSh_updateImpl(), SHORT); // the page mapped, but no lock to read it under
    // The page written (value, counter raised, format byte, page size), the attach's result, the
    // value read then (0: none, the reads fail with PAGE_VERSION_MISMATCH).
    const std::tuple<uint8_t, bool, uint8_t, uint32_t, MurelPageGet_EResult, uint8_t> steps[] = {
        {1, true, 2, 8192, BAD, 0}, {1, true, 1, 8192, OK, 1},   {2, false, 1, 8192, OK, 1},
        {2, true, 1, 8192, OK, 2},  {5, true, 1, 100, SHORT, 2}, {5, false, 1, 8192, OK, 5},
        {3, true, 7, 8192, BAD, 0}, {4, true, 1, 8192, OK, 4}};
    for (const auto& [value, raiseCounter, format, size, attached, read] : steps) {
        SCOPED_TRACE(testing::Message() << int(value) << raiseCounter << int(format) << size);
        ASSERT_TRUE(m_page.write(image(kRawId, {value}, format), raiseCounter, size));
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
        EXPECT_EQ(MurelPageGetSh_getDataVersion(kRawId, &version), result);
        EXPECT_EQ(fetch(kRawId, 0, bytes), result);
        EXPECT_EQ(bytes, read != 0 ? std::vector<uint8_t>{read} : std::vector<uint8_t>{});
    }
    // Each attach, and each open of the writer, maps page and lock anew and unmaps the ones before.
    std::ifstream maps("/proc/self/maps");
    int mappings = 0;
    for (std::string line; std::getline(maps, line);) {
        mappings += line.ends_with(m_page.lock) * 10 + line.ends_with(m_page.page);
    }
    EXPECT_EQ(mappings, 22); // tens the lock, ones the page: the client and the writer each
}

// Nothing is read past the 8192-byte copy, whatever the directory says (rows the fuzz target does
// not reach). Directory entries (id, size) over bytes of 0x33: versions 0x3333, a region's 0x33.
TEST_F(MurelPageGetShTest, LookupsStayInsideTheCopy) {
    using Entries = std::vector<std::pair<uint32_t, uint16_t>>;
    const std::string past = " reaches past the page copy";
    const std::tuple<Entries, uint16_t, uint32_t, MurelPageGet_EResult, std::string> rows[] = {
        {{{kRawId, 1}}, 8190, kRawId, BAD, "directory of 8190 bytes" + past},
        {{{kRawId, 1}}, 8189, kRawId, BAD, "item 0xC0000001" + past + " (position 8189, size 1)"},
        // Data starts at page offset 9: 8184 bytes do not fit.
        {{{kRawId, 8184}}, 6, kRawId, BAD, "item 0xC0000001" + past + " (position 6, size 8184)"},
        {{{2, 2}}, 6, 2, OK, ""}, // the version alone
        {{{2, 1}}, 6, 2, BAD, "item 0x00000002" + past + " (position 6, size 1)"},
        // A region needs room for its 12-byte header.
        {{{kRawId, 8168}, {0x80000000u, 4}}, 12, 0x80000000u, OK, ""},
        {{{kRawId, 8169}, {0x80000000u, 4}},
         12,
         0x80000000u,
         BAD,
         "item 0x80000000" + past + " (position 8181, size 0)"}};
    for (const auto& [entries, directoryLength, id, result, logged] : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << id << " " << entries[0].second);
        std::vector<uint8_t> page(MURELPAGE_SIZE, 0x33);
        page[0] = 1;
        memcpy(&page[1], &directoryLength, 2);
        for (size_t i = 0; i < entries.size(); ++i) {
            memcpy(&page[3 + 6 * i], &entries[i].first, 4);
            memcpy(&page[3 + 6 * i + 4], &entries[i].second, 2);
        }
        ASSERT_EQ(MurelPageGetSh_loadCopyForTesting(page.data()), OK);
        CCapturedSlog log;
        std::vector<uint8_t> bytes;
        EXPECT_EQ(fetch(id, id >> 30 == 2 ? 0x33 : 0x3333, bytes), result);
        EXPECT_EQ(bytes, std::vector<uint8_t>{});
        uint16_t version = 0;
        EXPECT_EQ(MurelPageGetSh_getDataVersion(id, &version), result);
        EXPECT_EQ(log.of("MurelPageGetSh_findItem"),
                  std::vector<std::string>(logged.empty() ? 0 : 2, "ERROR: " + logged));
    }
}

// Page images whose one raw item fills the page with one byte, the generation.
std::vector<uint8_t> generation(uint32_t value) {
    return image(kRawId, std::vector<uint8_t>(MURELPAGE_SIZE - 9, static_cast<uint8_t>(value)));
}

struct CWriterArea {
    std::atomic<uint32_t> stop;
    std::atomic<uint32_t> locked;
};

class MurelPageGetShConcurrencyTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_page.write(generation(1)));
        ASSERT_EQ(m_page.attach(), OK);
    }
    // The generation in the client's copy after a refresh, -1 when its bytes are from several.
    int refreshedGeneration() {
        std::vector<uint8_t> bytes;
        EXPECT_EQ(m_page.attach(), OK);
        EXPECT_EQ(fetch(kRawId, 0, bytes), OK);
        return bytes == std::vector<uint8_t>(MURELPAGE_SIZE - 9, bytes.at(0)) ? bytes[0] : -1;
    }
    // A child process that runs body with the page opened for writing, under its write lock.
    pid_t writerProcess(const std::function<void(CMurelPageWriter&)>& body) {
        return forkChild([this, body] {
            CMurelPageWriter writer;
            if (!writer.open(m_page.page, m_page.lock)) {
                return 2;
            }
            while (m_area->stop == 0) {
                MurelShAccObj_timedLockWrite(writer.accessObject(), MURELSHACCOBJ_WAIT_FOREVER);
                m_area->locked = 1;
                body(writer);
                writer.markChanged();
                if (MurelShAccObj_unlock(writer.accessObject()) != 0) {
                    return 3;
                }
                usleep(200);
            }
            return 0;
        });
    }

    CTestPage m_page{"concurrent"};
    TSharedMemory<CWriterArea> m_area;
};

// The writer changes the page while it holds the lock: the refresh waits and copies the new page.
TEST_F(MurelPageGetShConcurrencyTest, RefreshWaitsWhileAWriterProcessHoldsTheLock) {
    const pid_t writer = writerProcess([this](CMurelPageWriter& pageWriter) {
        usleep(200000);
        memcpy(pageWriter.page(), generation(2).data(), MURELPAGE_SIZE);
        m_area->stop = 1;
    });
    ASSERT_TRUE(eventually([this] { return m_area->locked == 1; }));
    EXPECT_EQ(refreshedGeneration(), 2);
    EXPECT_EQ(waitChild(writer), 0);
}

} // namespace
