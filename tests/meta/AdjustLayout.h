// The adjust-block layout of the compiled-in description, as the dump of a version-2 block shows
// it: the entries in ascending offset, run by run of entries of one group. An entry is one byte of
// type UINT8, "name:N" N bytes of UINT8, "name:w" one UINT16. The entries cover bytes 12 to 2035
// without a gap, so each offset follows from the sizes before it.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace NMurelMetaTest {

inline constexpr const char* ADJUST_LAYOUT[][2] = {
    {"E2P.ProdLogistic.HWCoding",
     "APIX Bluetooth BluetoothAntenna WLAN WLANAntenna MicIn AM_FM2 FM3 IBOC DMB SDARS FMVICS "
     "VICSBeacon Ethernet EthernetSwitch USBCharger Kleer ICM NAND NANDSpec GPS Gyro Sensor3D EMP9 "
     "AVB AppleDRM ADV7180 INIC HDD DVD CVBSIn1 CVBSIn2 CVBSIn3 CVBSIn4 Navigation TVTuner "
     "NANDType USB3 CANTransceiver BRSwitch USB2 EthernetPorts:w ProductGroup Amplifier IOC "
     "resv_HWCoding:18"},
    {"E2P.ProdLogistic",
     "VXVariant:4 ProdDate:8 SerialNo:10 ManufacturerID:2 ProductionKey:16 HWIndex Brand1 Brand2 "
     "Brand3 Brand4 VXProductionMode BoardID:24 resv_LogNoData:58"},
    {"E2P.Networking", "Eth0MacAddr:6 Eth1MacAddr:6 Wlan0MacAddr:6 Bt0Addr:6 resv_Networking:104"},
    {"E2P.CustomerLogistic",
     "HWE1:8 HWE2:8 PartNo:8 ProductLine:2 ExternalHWIndex resv_LogData:101"},
    {"E2P.AdjustData.AntennaDiag.AMFM.Antenna1", "I_cal_1:w ADC_cal1 I_cal_2:w ADC_cal2"},
    {"E2P.AdjustData.AntennaDiag.AMFM.Antenna2", "I_cal_1:w ADC_cal1 I_cal_2:w ADC_cal2"},
    {"E2P.AdjustData.AntennaDiag.DAB.Band_3", "I_cal_1:w ADC_cal1 I_cal_2:w ADC_cal2"},
    {"E2P.AdjustData.AntennaDiag.DAB.Band_L", "I_cal_1:w ADC_cal1 I_cal_2:w ADC_cal2"},
    {"E2P.AdjustData.AntennaDiag.Sirius", "I_cal_1:w ADC_cal1 I_cal_2:w ADC_cal2"},
    {"E2P.AdjustData.TemperatureThresholds.FOT", "low:w medium:w high:w"},
    {"E2P.AdjustData.TemperatureThresholds.AMP", "low:w medium:w high:w"},
    {"E2P.AdjustData.TemperatureThresholds.HDD", "low:w medium:w high:w"},
    {"E2P.AdjustData.TemperatureThresholds.DVD", "low:w medium:w high:w"},
    {"E2P.AdjustData.TemperatureThresholds.CPU", "low:w medium:w high:w"},
    {"E2P.AdjustData.TemperatureThresholds.FOT_Critical", "critical:w"},
    {"E2P.AdjustData.TemperatureThresholds.AMP_Critical", "critical:w"},
    {"E2P.AdjustData.TemperatureThresholds.HDD_Critical", "critical:w"},
    {"E2P.AdjustData.TemperatureThresholds.DVD_Critical", "critical:w"},
    {"E2P.AdjustData.TemperatureThresholds.CPU_Critical", "critical:w"},
    {"E2P.AdjustData.TemperatureThresholds", "resv_Thresholds:2"},
    {"E2P.AdjustData.AntennaEval.AMFM",
     "ConnectionOpen AntennaMissing ConnectionOK ConnectionShortCircuitGND"},
    {"E2P.AdjustData.AntennaEval.DAB.Band_3",
     "ConnectionOK ConnectionOpen ConnectionShortCircuitGND"},
    {"E2P.AdjustData.AntennaEval.DAB.Band_L",
     "ConnectionOpen ConnectionOK ConnectionShortCircuitGND"},
    {"E2P.AdjustData.AntennaEval.SDARS", "ConnectionOpen ConnectionOK ConnectionShortCircuitGND"},
    {"E2P.AdjustData.AntennaEval.WLAN", "ConnectionOK:w ConnectionOpen:w"},
    {"E2P.AdjustData.AntennaEval.BT", "ConnectionOK:w ConnectionOpen:w"},
    {"E2P.AdjustData.SupplyVoltage", "ADC_cal_9:w ADC_cal_18:w"},
    {"E2P.AdjustData", "FAN"},
    {"E2P.AdjustData.AmplifierDiag", "IntAmp_ACTh_FR IntAmp_ACTh_FL IntAmp_ACTh_RR IntAmp_ACTh_RL"},
    {"E2P.AdjustData", "RADONDiag:w resv_AdjustData:24"},
    {"E2P", "reserved:1447 END"},
};

struct CAdjustEntry {
    std::string name;
    uint32_t offset;
    uint32_t size;
    uint32_t dataType; // 3 UINT8, 5 UINT16
};

inline std::vector<CAdjustEntry> adjustEntries() {
    std::vector<CAdjustEntry> entries;
    uint32_t offset = 12;
    for (const auto& [group, names] : ADJUST_LAYOUT) {
        std::istringstream words(names);
        for (std::string word; words >> word;) {
            const size_t colon = word.find(':');
            const std::string size = colon == std::string::npos ? "1" : word.substr(colon + 1);
            CAdjustEntry entry{std::string(group) + "." + word.substr(0, colon), offset,
                               size == "w" ? 2u : static_cast<uint32_t>(std::stoul(size)),
                               size == "w" ? 5u : 3u};
            offset += entry.size;
            entries.push_back(entry);
        }
    }
    return entries;
}

} // namespace NMurelMetaTest
