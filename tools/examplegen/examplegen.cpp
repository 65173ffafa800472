// Writes the sample adjust block and its description file from the layout compiled into velkor,
// and a second block of the same unit as found in the field, for comparisons with --diff.
//
//     examplegen <block-file> <description-file> [<field-block-file>]
//
// The entries, their offsets, sizes and data types come from the "AdjustBlock" subtree of the
// compiled-in description, so the examples always match the layout the tool prints. The values
// below are those of a plausible unit; every entry not listed holds erased EEPROM bytes (FF).
// The block carries layout version 2 in byte 8 and a correct CRC in bytes 0 to 3. The field block
// differs from it in a few entries and header bytes (and so in its CRC, again correct).

#include "app/MurelAdjCrc.h"
#include "app/MurelAdjTypes.h"
#include "meta/MurelMeta.h"
#include "meta/MurelMetaDescription.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using NMurelMeta::TMetaNodePtr;

struct SampleValue {
    const char* name;
    const char* bytes; // hex, in storage order (16-bit values least significant byte first)
};

// Header bytes 4 to 11; byte 8 (index 4 here) is the layout version.
constexpr uint8_t HEADER[8] = {0x96, 0x9D, 0x84, 0x00, 0x02, 0x01, 0xFF, 0xFF};

constexpr SampleValue SAMPLE_VALUES[] = {
    {"E2P.ProdLogistic.HWCoding.APIX", "03"},
    {"E2P.ProdLogistic.HWCoding.Bluetooth", "02"},
    {"E2P.ProdLogistic.HWCoding.BluetoothAntenna", "02"},
    {"E2P.ProdLogistic.HWCoding.WLAN", "02"},
    {"E2P.ProdLogistic.HWCoding.WLANAntenna", "02"},
    {"E2P.ProdLogistic.HWCoding.MicIn", "03"},
    {"E2P.ProdLogistic.HWCoding.AM_FM2", "02"},
    {"E2P.ProdLogistic.HWCoding.FM3", "01"},
    {"E2P.ProdLogistic.HWCoding.IBOC", "00"},
    {"E2P.ProdLogistic.HWCoding.DMB", "00"},
    {"E2P.ProdLogistic.HWCoding.SDARS", "00"},
    {"E2P.ProdLogistic.HWCoding.FMVICS", "00"},
    {"E2P.ProdLogistic.HWCoding.VICSBeacon", "00"},
    {"E2P.ProdLogistic.HWCoding.Ethernet", "02"},
    {"E2P.ProdLogistic.HWCoding.EthernetSwitch", "02"},
    {"E2P.ProdLogistic.HWCoding.USBCharger", "00"},
    {"E2P.ProdLogistic.HWCoding.Kleer", "00"},
    {"E2P.ProdLogistic.HWCoding.ICM", "02"},
    {"E2P.ProdLogistic.HWCoding.NAND", "02"},
    {"E2P.ProdLogistic.HWCoding.NANDSpec", "02"},
    {"E2P.ProdLogistic.HWCoding.GPS", "01"},
    {"E2P.ProdLogistic.HWCoding.Gyro", "02"},
    {"E2P.ProdLogistic.HWCoding.Sensor3D", "02"},
    {"E2P.ProdLogistic.HWCoding.EMP9", "01"},
    {"E2P.ProdLogistic.HWCoding.AVB", "00"},
    {"E2P.ProdLogistic.HWCoding.AppleDRM", "01"},
    {"E2P.ProdLogistic.HWCoding.ADV7180", "01"},
    {"E2P.ProdLogistic.HWCoding.INIC", "01"},
    {"E2P.ProdLogistic.HWCoding.HDD", "01"},
    {"E2P.ProdLogistic.HWCoding.DVD", "02"},
    {"E2P.ProdLogistic.HWCoding.CVBSIn1", "01"},
    {"E2P.ProdLogistic.HWCoding.CVBSIn2", "01"},
    {"E2P.ProdLogistic.HWCoding.CVBSIn3", "01"},
    {"E2P.ProdLogistic.HWCoding.CVBSIn4", "01"},
    {"E2P.ProdLogistic.HWCoding.Navigation", "01"},
    {"E2P.ProdLogistic.HWCoding.TVTuner", "00"},
    {"E2P.ProdLogistic.VXVariant", "32303639"},
    {"E2P.ProdLogistic.ProdDate", "0000000020111124"},
    {"E2P.ProdLogistic.SerialNo", "00304237353038303032"},
    {"E2P.ProdLogistic.ManufacturerID", "0047"},
    {"E2P.ProdLogistic.ProductionKey", "5E1C0A93D4B27F6688E13C0B9A4D2F71"},
    {"E2P.ProdLogistic.HWIndex", "03"},
    {"E2P.ProdLogistic.Brand1", "01"},
    {"E2P.ProdLogistic.Brand2", "00"},
    {"E2P.ProdLogistic.Brand3", "00"},
    {"E2P.ProdLogistic.Brand4", "00"},
    {"E2P.ProdLogistic.VXProductionMode", "00"},
    {"E2P.ProdLogistic.BoardID", "564B2D4D422D323036392D52303300000000000000000000"},
    {"E2P.Networking.Eth0MacAddr", "02B4E12BB056"},
    {"E2P.Networking.Eth1MacAddr", "02B4E10BB026"},
    {"E2P.Networking.Wlan0MacAddr", "02B4E14BB07A"},
    {"E2P.Networking.Bt0Addr", "02B4E15BB07B"},
    {"E2P.CustomerLogistic.HWE1", "4830312E30333030"},
    {"E2P.CustomerLogistic.HWE2", "4830312E30313030"},
    {"E2P.CustomerLogistic.PartNo", "564B323033353630"},
    {"E2P.CustomerLogistic.ProductLine", "0001"},
    {"E2P.CustomerLogistic.ExternalHWIndex", "05"},
    {"E2P.AdjustData.AntennaDiag.AMFM.Antenna1.I_cal_1", "F401"},
    {"E2P.AdjustData.AntennaDiag.AMFM.Antenna1.ADC_cal1", "7A"},
    {"E2P.AdjustData.AntennaDiag.AMFM.Antenna1.I_cal_2", "E803"},
    {"E2P.AdjustData.AntennaDiag.AMFM.Antenna1.ADC_cal2", "C8"},
    {"E2P.AdjustData.AntennaDiag.AMFM.Antenna2.I_cal_1", "F601"},
    {"E2P.AdjustData.AntennaDiag.AMFM.Antenna2.ADC_cal1", "7B"},
    {"E2P.AdjustData.AntennaDiag.AMFM.Antenna2.I_cal_2", "E603"},
    {"E2P.AdjustData.AntennaDiag.AMFM.Antenna2.ADC_cal2", "C6"},
    {"E2P.AdjustData.AntennaDiag.DAB.Band_3.I_cal_1", "F001"},
    {"E2P.AdjustData.AntennaDiag.DAB.Band_3.ADC_cal1", "78"},
    {"E2P.AdjustData.AntennaDiag.DAB.Band_3.I_cal_2", "E203"},
    {"E2P.AdjustData.AntennaDiag.DAB.Band_3.ADC_cal2", "C3"},
    {"E2P.AdjustData.AntennaDiag.DAB.Band_L.I_cal_1", "F201"},
    {"E2P.AdjustData.AntennaDiag.DAB.Band_L.ADC_cal1", "79"},
    {"E2P.AdjustData.AntennaDiag.DAB.Band_L.I_cal_2", "E403"},
    {"E2P.AdjustData.AntennaDiag.DAB.Band_L.ADC_cal2", "C4"},
    {"E2P.AdjustData.AntennaDiag.Sirius.I_cal_1", "F801"},
    {"E2P.AdjustData.AntennaDiag.Sirius.ADC_cal1", "7C"},
    {"E2P.AdjustData.AntennaDiag.Sirius.I_cal_2", "EC03"},
    {"E2P.AdjustData.AntennaDiag.Sirius.ADC_cal2", "CA"},
    {"E2P.AdjustData.TemperatureThresholds.FOT.low", "5500"},
    {"E2P.AdjustData.TemperatureThresholds.FOT.medium", "5F00"},
    {"E2P.AdjustData.TemperatureThresholds.FOT.high", "6900"},
    {"E2P.AdjustData.TemperatureThresholds.AMP.low", "5000"},
    {"E2P.AdjustData.TemperatureThresholds.AMP.medium", "5A00"},
    {"E2P.AdjustData.TemperatureThresholds.AMP.high", "6400"},
    {"E2P.AdjustData.TemperatureThresholds.HDD.low", "3C00"},
    {"E2P.AdjustData.TemperatureThresholds.HDD.medium", "4100"},
    {"E2P.AdjustData.TemperatureThresholds.HDD.high", "4600"},
    {"E2P.AdjustData.TemperatureThresholds.DVD.low", "4100"},
    {"E2P.AdjustData.TemperatureThresholds.DVD.medium", "4600"},
    {"E2P.AdjustData.TemperatureThresholds.DVD.high", "4B00"},
    {"E2P.AdjustData.TemperatureThresholds.CPU.low", "5F00"},
    {"E2P.AdjustData.TemperatureThresholds.CPU.medium", "6900"},
    {"E2P.AdjustData.TemperatureThresholds.CPU.high", "7300"},
    {"E2P.AdjustData.TemperatureThresholds.FOT_Critical.critical", "6E00"},
    {"E2P.AdjustData.TemperatureThresholds.AMP_Critical.critical", "6900"},
    {"E2P.AdjustData.TemperatureThresholds.HDD_Critical.critical", "4B00"},
    {"E2P.AdjustData.TemperatureThresholds.DVD_Critical.critical", "5000"},
    {"E2P.AdjustData.TemperatureThresholds.CPU_Critical.critical", "7D00"},
    {"E2P.AdjustData.AntennaEval.AMFM.ConnectionOpen", "0A"},
    {"E2P.AdjustData.AntennaEval.AMFM.AntennaMissing", "14"},
    {"E2P.AdjustData.AntennaEval.AMFM.ConnectionOK", "1E"},
    {"E2P.AdjustData.AntennaEval.AMFM.ConnectionShortCircuitGND", "28"},
    {"E2P.AdjustData.AntennaEval.DAB.Band_3.ConnectionOK", "1E"},
    {"E2P.AdjustData.AntennaEval.DAB.Band_3.ConnectionOpen", "0A"},
    {"E2P.AdjustData.AntennaEval.DAB.Band_3.ConnectionShortCircuitGND", "05"},
    {"E2P.AdjustData.AntennaEval.DAB.Band_L.ConnectionOpen", "0A"},
    {"E2P.AdjustData.AntennaEval.DAB.Band_L.ConnectionOK", "1E"},
    {"E2P.AdjustData.AntennaEval.DAB.Band_L.ConnectionShortCircuitGND", "05"},
    {"E2P.AdjustData.AntennaEval.SDARS.ConnectionOpen", "0A"},
    {"E2P.AdjustData.AntennaEval.SDARS.ConnectionOK", "1E"},
    {"E2P.AdjustData.AntennaEval.SDARS.ConnectionShortCircuitGND", "05"},
    {"E2P.AdjustData.AntennaEval.WLAN.ConnectionOK", "9001"},
    {"E2P.AdjustData.AntennaEval.WLAN.ConnectionOpen", "2003"},
    {"E2P.AdjustData.AntennaEval.BT.ConnectionOK", "8A01"},
    {"E2P.AdjustData.AntennaEval.BT.ConnectionOpen", "1C03"},
    {"E2P.AdjustData.SupplyVoltage.ADC_cal_9", "6202"},
    {"E2P.AdjustData.SupplyVoltage.ADC_cal_18", "C404"},
    {"E2P.AdjustData.FAN", "01"},
    {"E2P.AdjustData.AmplifierDiag.IntAmp_ACTh_FR", "32"},
    {"E2P.AdjustData.AmplifierDiag.IntAmp_ACTh_FL", "32"},
    {"E2P.AdjustData.AmplifierDiag.IntAmp_ACTh_RR", "30"},
    {"E2P.AdjustData.AmplifierDiag.IntAmp_ACTh_RL", "30"},
    {"E2P.AdjustData.RADONDiag", "0001"},
    {"E2P.END", "A5"},
};

// The field block: header bytes (offset, value) and entry values that differ from the sample.
constexpr uint8_t FIELD_HEADER[][2] = {{5, 0xA1}, {10, 0x00}, {11, 0x01}};

constexpr SampleValue FIELD_VALUES[] = {
    {"E2P.ProdLogistic.SerialNo", "00304237353038303137"},
    {"E2P.Networking.Eth0MacAddr", "02B4E12BB1A2"},
    {"E2P.AdjustData.SupplyVoltage.ADC_cal_9", "5E02"},
    {"E2P.AdjustData.TemperatureThresholds.CPU.high", "7800"},
};

struct Entry {
    std::string name;
    uint32_t offset;
    uint32_t size;
    uint32_t elementSize;
    const char* typeName;
};

const char* typeNameOf(uint32_t dataType) {
    switch (dataType) {
    case NMurelMeta::UINT8:
        return "UINT8";
    case NMurelMeta::UINT16:
        return "UINT16";
    default:
        return nullptr;
    }
}

bool collectEntries(std::vector<Entry>& entries) {
    TMetaNodePtr root;
    NMurelMeta::getRootNode(root);
    TMetaNodePtr adjustBlock;
    if (!NMurelMeta::findRegisteredNode(root.get(), NMurelMeta::ADJUST_BLOCK_DATA_ID,
                                        adjustBlock)) {
        fprintf(stderr, "examplegen: no AdjustBlock in the compiled description\n");
        return false;
    }
    TVXVector<TMetaNodePtr> nodes;
    const uint32_t mask = NMurelMeta::AdjNode;
    NMurelMeta::collectNodes(adjustBlock.get(), false, &mask, nodes);
    for (const TMetaNodePtr& node : nodes) {
        CMurelAdjTypeInfo type;
        const char* typeName = typeNameOf(node->dataType());
        if (typeName == nullptr || !NMurelMeta::getDataTypeInfo(node->dataType(), &type) ||
            type.size == 0 || node->size() % type.size != 0) {
            fprintf(stderr, "examplegen: unexpected data type of %s\n", node->name().c_str());
            return false;
        }
        entries.push_back({node->name().c_str(), (node->id() >> 16) & 0x3FFFu, node->size(),
                           type.size, typeName});
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.offset < b.offset; });
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Writes the values into the block at their entries' offsets.
template <size_t N>
bool setValues(const std::vector<Entry>& entries, const SampleValue (&values)[N],
               std::vector<uint8_t>& block) {
    for (const SampleValue& value : values) {
        const auto entry = std::find_if(entries.begin(), entries.end(),
                                        [&](const Entry& e) { return e.name == value.name; });
        const size_t digits = strlen(value.bytes);
        if (entry == entries.end() || digits != 2u * entry->size) {
            fprintf(stderr, "examplegen: sample value of %s does not fit the layout\n", value.name);
            return false;
        }
        for (uint32_t i = 0; i < entry->size; ++i) {
            const int high = hexDigit(value.bytes[2 * i]);
            const int low = hexDigit(value.bytes[2 * i + 1]);
            if (high < 0 || low < 0) {
                fprintf(stderr, "examplegen: bad hex digits in the value of %s\n", value.name);
                return false;
            }
            block[entry->offset + i] = static_cast<uint8_t>(high * 16 + low);
        }
    }
    return true;
}

// Stores a correct CRC in bytes 0 to 3.
bool setCrc(std::vector<uint8_t>& block) {
    uint32_t crc = 0;
    if (calculateCrc(block.data(), ADJUST_BLOCK_SIZE, &crc) != MURELADJ_CRC_OK) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        block[i] = static_cast<uint8_t>(crc >> (8 * i));
    }
    return true;
}

bool fillBlock(const std::vector<Entry>& entries, std::vector<uint8_t>& block) {
    block.assign(ADJUST_BLOCK_SIZE, 0xFF);
    memcpy(block.data() + 4, HEADER, sizeof(HEADER));
    return setValues(entries, SAMPLE_VALUES, block) && setCrc(block);
}

bool fillFieldBlock(const std::vector<Entry>& entries, const std::vector<uint8_t>& sample,
                    std::vector<uint8_t>& block) {
    block = sample;
    for (const auto& [offset, value] : FIELD_HEADER) {
        block[offset] = value;
    }
    return setValues(entries, FIELD_VALUES, block) && setCrc(block);
}

std::string hexOf(const uint8_t* bytes, uint32_t count) {
    static const char DIGITS[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(2 * count);
    for (uint32_t i = 0; i < count; ++i) {
        text += DIGITS[bytes[i] >> 4];
        text += DIGITS[bytes[i] & 0x0F];
    }
    return text;
}

bool writeDescription(const char* path, const std::vector<Entry>& entries,
                      const std::vector<uint8_t>& block) {
    FILE* file = fopen(path, "w");
    if (file == nullptr) {
        fprintf(stderr, "examplegen: cannot create %s\n", path);
        return false;
    }
    fprintf(file, "# E2P structure description of the adjust block, layout version %u.\n",
            static_cast<unsigned>(NMurelMeta::COMPILED_ADJUST_VERSION));
    fprintf(file, "# Generated by tools/examplegen from the layout compiled into velkor; the "
                  "values are those of examples/adjust-block.bin.\n");
    fprintf(file, "# Value, minimum and maximum are hex bytes in storage order.\n");
    fprintf(file, "Address\tGroup\tEntry\tType\tCount\tValue\tMinimum\tMaximum\n");
    for (const Entry& entry : entries) {
        const size_t dot = entry.name.rfind('.');
        const std::vector<uint8_t> zeros(entry.size, 0x00);
        const std::vector<uint8_t> ones(entry.size, 0xFF);
        fprintf(file, "%08X\t%s\t%s\t%s\t%u\t%s\t%s\t%s\n", entry.offset,
                entry.name.substr(0, dot).c_str(), entry.name.substr(dot + 1).c_str(),
                entry.typeName, entry.size / entry.elementSize,
                hexOf(block.data() + entry.offset, entry.size).c_str(),
                hexOf(zeros.data(), entry.size).c_str(), hexOf(ones.data(), entry.size).c_str());
    }
    return fclose(file) == 0;
}

bool writeBlock(const char* path, const std::vector<uint8_t>& block) {
    FILE* file = fopen(path, "wb");
    if (file == nullptr) {
        fprintf(stderr, "examplegen: cannot create %s\n", path);
        return false;
    }
    const bool written = fwrite(block.data(), 1, block.size(), file) == block.size();
    return fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: examplegen <block-file> <description-file> [<field-block-file>]\n");
        return 1;
    }
    std::vector<Entry> entries;
    std::vector<uint8_t> block;
    if (!collectEntries(entries) || !fillBlock(entries, block) || !writeBlock(argv[1], block) ||
        !writeDescription(argv[2], entries, block)) {
        return 1;
    }
    std::vector<uint8_t> field;
    if (argc == 4 && (!fillFieldBlock(entries, block, field) || !writeBlock(argv[3], field))) {
        return 1;
    }
    return 0;
}
