// What the binaries cannot show of the block helpers: element sizes the compiled description does
// not use, and refused arguments (reported, printing nothing).
#include "app/MurelAdjCrc.h"
#include "app/MurelAdjEntryPrint.h"
#include "app/MurelAdjPageAccess.h"
#include "app/MurelAdjTypes.h"

#include "foundation/VXAssert.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using NMurelMeta::CMetaAdjNode;

namespace {

template <typename Print>
std::string printed(Print print) {
    testing::internal::CaptureStdout();
    print();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

TEST(MurelAdjEntryPrint, ValuesOfEveryElementSizeAndRefusedArguments) {
    const uint8_t bytes[8] = {0x01, 0x02, 0x03, 0x04, 0x0A, 0xBC, 0xFF, 0x5E};
    const auto print = [](uint32_t size, uint32_t count, const uint8_t* data) {
        CMurelAdjTypeInfo type;
        type.size = size;
        type.count = count;
        return printed([&] {
            printEntryValue(data, type, 1); // big-endian reverses each element
            printEntryValue(data, type, 2);
        });
    };
    EXPECT_EQ(print(4, 2, bytes), "040302015EFFBC0A\n010203040ABCFF5E\n");
    EXPECT_EQ(print(8, 1, bytes), "5EFFBC0A04030201\n010203040ABCFF5E\n");
    const uint32_t before = VXAssertionCount();
    EXPECT_EQ(print(0, 0, bytes), "\n\n");
    EXPECT_EQ(VXAssertionCount(), before + 4);
    EXPECT_EQ(print(1, 2, nullptr), "\n\n");
    EXPECT_EQ(printed([] { printHexRows(nullptr, 10); }), "");
    EXPECT_EQ(VXAssertionCount(), before + 7);
    // An unknown data type is reported and gives no elements.
    const CMurelAdjTypeInfo type =
        adjustEntryType(CMetaAdjNode("E2P.X.Buffer", 0x80100010u, 16, NMurelMeta::BUFFER));
    EXPECT_EQ(VXAssertionCount(), before + 8);
    EXPECT_EQ(type.size + type.count, 0u);
}

TEST(MurelAdjBlock, RefusedArgumentsAndNames) {
    const uint8_t data[12] = {};
    uint32_t crc = 0xA5A5A5A5u;
    EXPECT_FALSE(computeAdjustCrc32(data, 3, &crc));
    for (auto routine : {getStoredCrc, calculateCrc}) {
        EXPECT_EQ(routine(data, 11, &crc), MURELADJ_CRC_INVALID_ARGUMENT);
        EXPECT_EQ(routine(nullptr, 2036, &crc), MURELADJ_CRC_INVALID_ARGUMENT);
    }
    EXPECT_EQ(crc, 0xA5A5A5A5u);
    EXPECT_EQ(calculateCrc(data, 12, &crc), MURELADJ_CRC_OK); // the shortest block accepted

    const uint32_t before = VXAssertionCount();
    std::string names;
    for (const uint32_t result : {0u, 11u, 12u, 0xFFFFFFFFu}) {
        names += std::string(pageResultName(result)) + ",";
    }
    EXPECT_EQ(names + murelAdjActionName(static_cast<EMurelAdjAction>(99)), "OK,UNKNOWN,,,");
    EXPECT_EQ(VXAssertionCount(), before + 3);
}

} // namespace
