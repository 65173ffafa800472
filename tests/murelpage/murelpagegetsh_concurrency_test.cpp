// The page client against writer processes: blocking on the page's lock and torn copies.
#include "tests/murelpage/MurelPageTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iostream>

namespace {

const uint32_t kItemId = 0xC0000001u;
const uint32_t kItemSize = MURELPAGE_SIZE - 3 - 6; // one raw item fills the page

struct CWriterArea {
    std::atomic<uint32_t> nextGeneration;
    std::atomic<uint32_t> stop;
    std::atomic<uint32_t> locked;
};

// Page image whose item holds the generation number in every 4-byte group.
std::vector<uint8_t> generationImage(uint32_t generation) {
    std::vector<uint8_t> bytes(kItemSize);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(generation >> (8 * (i % 4)));
    }
    std::vector<uint8_t> image;
    MurelPageImage_build({{kItemId, 0, bytes}}, image);
    return image;
}

class MurelPageGetShConcurrencyTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_page.write(generationImage(1)));
        ASSERT_EQ(m_page.attach(), MurelPageGet_OK);
    }
    // The generation of the item in the client's copy, 0 when its bytes are from several.
    static uint32_t copiedGeneration() {
        std::vector<uint8_t> bytes(kItemSize);
        uint32_t length = 0;
        EXPECT_EQ(MurelPageGetSh_getBuffer(kItemId, 0, bytes.data(), kItemSize, &length),
                  MurelPageGet_OK);
        uint32_t generation = 0;
        memcpy(&generation, bytes.data(), 4);
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] != static_cast<uint8_t>(generation >> (8 * (i % 4)))) {
                return 0;
            }
        }
        return generation;
    }
    // A child process that opens the page as a writer and runs body with the writer (2 when the
    // page cannot be opened).
    pid_t writerProcess(const std::function<int(CMurelPageWriter&)>& body) {
        return forkChild([this, body] {
            CMurelPageWriter writer;
            return writer.open(m_page.page, m_page.lock) ? body(writer) : 2;
        });
    }

    CTestPage m_page{"concurrent"};
    TSharedMemory<CWriterArea> m_area;
};

TEST_F(MurelPageGetShConcurrencyTest, RefreshWaitsWhileAWriterProcessHoldsTheLock) {
    const pid_t writer = writerProcess([this](CMurelPageWriter& pageWriter) {
        MurelShAccObj_timedLockWrite(pageWriter.accessObject(), MURELSHACCOBJ_WAIT_FOREVER);
        m_area->locked = 1;
        usleep(500000);
        const std::vector<uint8_t> image = generationImage(2);
        memcpy(pageWriter.page(), image.data(), image.size());
        pageWriter.markChanged();
        return MurelShAccObj_unlock(pageWriter.accessObject()) == 0 ? 0 : 3;
    });
    ASSERT_TRUE(waitUntil([this] { return m_area->locked == 1; }));
    const int64_t start = monotonicUs();
    EXPECT_EQ(m_page.attach(), MurelPageGet_OK);
    EXPECT_GE(monotonicUs() - start, 300000);
    EXPECT_EQ(copiedGeneration(), 2u);
    EXPECT_EQ(waitChild(writer), 0);
}

// Two writer processes rewrite the whole page, generation by generation, pausing in the middle of
// each rewrite; the reader refreshes and checks a thousand copies.
TEST_F(MurelPageGetShConcurrencyTest, NoTornCopyWhileWriterProcessesRewriteThePage) {
    m_area->nextGeneration = 2;
    const auto rewrite = [this](CMurelPageWriter& pageWriter) {
        const size_t half = MURELPAGE_SIZE / 2;
        while (m_area->stop == 0) {
            const std::vector<uint8_t> image = generationImage(m_area->nextGeneration++);
            if (MurelShAccObj_timedLockWrite(pageWriter.accessObject(),
                                             MURELSHACCOBJ_WAIT_FOREVER) != 0) {
                return 3;
            }
            memcpy(pageWriter.page(), image.data(), half);
            const int64_t pauseEnd = monotonicUs() + 20; // a half-written page for a while
            while (monotonicUs() < pauseEnd) {
            }
            memcpy(pageWriter.page() + half, image.data() + half, MURELPAGE_SIZE - half);
            pageWriter.markChanged();
            MurelShAccObj_unlock(pageWriter.accessObject());
            usleep(200);
        }
        return 0;
    };
    const pid_t writers[] = {writerProcess(rewrite), writerProcess(rewrite)};

    uint32_t copies = 0;
    uint32_t torn = 0;
    uint32_t lastGeneration = 1;
    const int64_t start = monotonicUs();
    while (monotonicUs() - start < 10000000 && copies < 1000) {
        ASSERT_EQ(m_page.attach(), MurelPageGet_OK);
        const uint32_t generation = copiedGeneration();
        if (generation == 0) {
            ++torn;
        } else if (generation != lastGeneration) {
            ++copies;
            lastGeneration = generation;
        }
    }
    const int64_t elapsed = (monotonicUs() - start) / 1000;
    m_area->stop = 1;
    for (pid_t writer : writers) {
        EXPECT_EQ(waitChild(writer), 0);
    }
    EXPECT_EQ(torn, 0u);
    EXPECT_GE(copies, 500u);
    std::cout << "[ measured ] " << copies << " fresh copies in " << elapsed << " ms, "
              << (m_area->nextGeneration - 2) << " page rewrites\n";
}

} // namespace
