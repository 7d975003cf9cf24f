#pragma once

#include <cstdint>

namespace doctor {

// Where a multi-I/O card keeps its parallel ports: for each port, the BAR of its standard block
// and the BAR of its ECP block (-1: none). On many of these cards BAR 0 is a serial port.
struct CardPort
{
    std::int8_t bar = -1;
    std::int8_t ecpBar = -1;
};

inline constexpr std::uint16_t Any = 0xFFFF;

struct Card
{
    std::uint16_t vendor;
    std::uint16_t device;
    std::uint16_t subVendor; // Any: every subsystem
    std::uint16_t subDevice;
    const char *driver; // the kernel driver that binds it
    CardPort ports[2];
};

// The PCI cards the kernel's parport_pc and parport_serial drivers list by ID, with their BAR
// layouts, as the drivers' own tables give them (parport_pc_pci_tbl and cards[] in
// drivers/parport/parport_pc.c at torvalds/linux 037dd1308c6d, a 6.2 tree; parport_serial_pci_tbl
// and cards[] in drivers/parport/parport_serial.c at 06d074298583, 6.8-rc6; the PCI_*_ID_* names by
// include/linux/pci_ids.h at 009ef05f9812), in the drivers' order; the first entry that matches
// is the card, as in the kernel, so a subsystem-matched entry stays before its device's wildcard.
// Not here: the VIA 686A/8231 and ITE 8872 Super-I/O bridges, whose port is set in their
// configuration rather than a BAR, and the SYBA cards, whose ports sit at offsets inside BAR 0.
// The NetMos 9735/9745/9835/9845 and wildcard 9855 entries give one port: the kernel reads their
// count from the subsystem ID (0x00PS, P parallel ports) and gives a further port no BAR of its
// own. Cards of class 07 01 that are not here are read by their I/O BARs in order.
inline constexpr Card Cards[] = {
    {0x131f, 0x1020, Any, Any, "parport_pc", {{2, 3}}},
    {0x131f, 0x1021, Any, Any, "parport_pc", {{2, 3}, {4, 5}}},
    {0x131f, 0x2020, Any, Any, "parport_pc", {{0, 1}}},
    {0x131f, 0x2021, Any, Any, "parport_pc", {{0, 1}, {2, 3}}},
    {0x1407, 0x8000, Any, Any, "parport_pc", {{0, -1}}},
    {0x1407, 0x8002, Any, Any, "parport_pc", {{0, -1}}},
    {0x1407, 0x8003, Any, Any, "parport_pc", {{0, -1}}},
    {0x1407, 0x8800, Any, Any, "parport_pc", {{0, -1}}},
    {0x10b5, 0x9050, 0xd84d, 0x4014, "parport_pc", {{4, -1}, {5, -1}}},
    {0x1409, 0x7268, 0x1409, 0x0101, "parport_pc", {{0, -1}}},
    {0x1409, 0x7268, 0x1409, 0x0102, "parport_pc", {{0, -1}, {2, -1}}},
    {0x1409, 0x7268, 0x1409, 0x0103, "parport_pc", {{0, 1}}},
    {0x1409, 0x7268, 0x1409, 0x0104, "parport_pc", {{0, 1}, {2, 3}}},
    {0x1409, 0x7268, 0x1409, 0x9018, "parport_pc", {{0, 1}, {2, 3}}},
    {0x14d2, 0x8001, Any, Any, "parport_pc", {{3, -1}}},
    {0x14db, 0x2120, Any, Any, "parport_pc", {{0, 1}}},
    {0x14db, 0x2121, Any, Any, "parport_pc", {{0, 1}, {2, 3}}},
    {0x1415, 0x9523, Any, Any, "parport_pc", {{0, 1}}},
    {0x1415, 0x9513, Any, Any, "parport_pc", {{0, 1}}},
    {0x1415, 0x8403, Any, Any, "parport_pc", {{0, 1}}},
    {0x1415, 0xc000, Any, Any, "parport_pc", {{0, 1}}},
    {0x1415, 0xc004, Any, Any, "parport_pc", {{0, 1}}},
    {0x1415, 0xc100, Any, Any, "parport_pc", {{0, 1}}},
    {0x1415, 0xc104, Any, Any, "parport_pc", {{0, 1}}},
    {0x1415, 0xc110, Any, Any, "parport_pc", {{0, 1}}},
    {0x1415, 0xc114, Any, Any, "parport_pc", {{0, 1}}},
    {0x1415, 0xc118, Any, Any, "parport_pc", {{0, 1}}},
    {0x1415, 0xc11c, Any, Any, "parport_pc", {{0, 1}}},
    {0x416c, 0x0100, Any, Any, "parport_pc", {{0, -1}}},
    {0x14f2, 0x0121, Any, Any, "parport_pc", {{0, 1}}},
    {0x9710, 0x9900, 0xa000, 0x2000, "parport_pc", {{0, -1}}},
    {0x9710, 0x9705, Any, Any, "parport_pc", {{0, -1}}},
    {0x9710, 0x9715, Any, Any, "parport_pc", {{0, 1}, {2, 3}}},
    {0x9710, 0x9755, Any, Any, "parport_pc", {{0, 1}, {2, 3}}},
    {0x9710, 0x9805, Any, Any, "parport_pc", {{0, 1}}},
    {0x9710, 0x9815, Any, Any, "parport_pc", {{0, 1}, {2, 3}}},
    {0x9710, 0x9901, 0xa000, 0x2000, "parport_pc", {{0, -1}}},
    {0x9710, 0x9865, 0xa000, 0x1000, "parport_pc", {{0, -1}}},
    {0x9710, 0x9865, 0xa000, 0x2000, "parport_pc", {{0, -1}}},
    {0x135c, 0x0278, Any, Any, "parport_pc", {{0, 1}}},
    {0x1c00, 0x3050, 0x1c00, 0x3050, "parport_pc", {{2, -1}}},
    {0x14d2, 0x8011, Any, Any, "parport_serial", {{3, -1}}},
    {0x14d2, 0x8021, Any, Any, "parport_serial", {{3, -1}}},
    {0x9710, 0x9735, Any, Any, "parport_serial", {{2, -1}}},
    {0x9710, 0x9745, Any, Any, "parport_serial", {{2, -1}}},
    {0x9710, 0x9835, Any, Any, "parport_serial", {{2, -1}}},
    {0x9710, 0x9845, Any, Any, "parport_serial", {{2, -1}}},
    {0x9710, 0x9855, 0x1000, 0x0020, "parport_serial", {{0, -1}, {2, -1}}},
    {0x9710, 0x9855, 0x1000, 0x0022, "parport_serial", {{0, -1}, {2, -1}}},
    {0x9710, 0x9855, Any, Any, "parport_serial", {{0, -1}}},
    {0x9710, 0x9900, 0xa000, 0x3011, "parport_serial", {{3, 4}}},
    {0x9710, 0x9900, 0xa000, 0x3012, "parport_serial", {{3, 4}}},
    {0x9710, 0x9900, 0xa000, 0x3020, "parport_serial", {{0, 1}, {3, 4}}},
    {0x9710, 0x9912, 0xa000, 0x2000, "parport_serial", {{0, 1}}},
    {0x14db, 0x2110, Any, Any, "parport_serial", {{1, 2}}},
    {0x14db, 0x2111, Any, Any, "parport_serial", {{1, 2}}},
    {0x14db, 0x2112, Any, Any, "parport_serial", {{1, 2}}},
    {0x14db, 0x2140, Any, Any, "parport_serial", {{1, 2}, {3, 4}}},
    {0x14db, 0x2141, Any, Any, "parport_serial", {{1, 2}, {3, 4}}},
    {0x14db, 0x2142, Any, Any, "parport_serial", {{1, 2}, {3, 4}}},
    {0x14db, 0x2160, Any, Any, "parport_serial", {{2, 3}}},
    {0x14db, 0x2161, Any, Any, "parport_serial", {{2, 3}}},
    {0x14db, 0x2162, Any, Any, "parport_serial", {{2, 3}}},
    {0x131f, 0x1010, Any, Any, "parport_serial", {{3, 4}}},
    {0x131f, 0x1011, Any, Any, "parport_serial", {{3, 4}}},
    {0x131f, 0x1012, Any, Any, "parport_serial", {{3, 4}}},
    {0x131f, 0x1034, Any, Any, "parport_serial", {{4, 5}}},
    {0x131f, 0x1035, Any, Any, "parport_serial", {{4, 5}}},
    {0x131f, 0x1036, Any, Any, "parport_serial", {{4, 5}}},
    {0x131f, 0x2040, Any, Any, "parport_serial", {{1, 2}, {3, 4}}},
    {0x131f, 0x2041, Any, Any, "parport_serial", {{1, 2}, {3, 4}}},
    {0x131f, 0x2042, Any, Any, "parport_serial", {{1, 2}, {3, 4}}},
    {0x131f, 0x2010, Any, Any, "parport_serial", {{2, 3}}},
    {0x131f, 0x2011, Any, Any, "parport_serial", {{1, 2}}},
    {0x131f, 0x2012, Any, Any, "parport_serial", {{1, 2}}},
    {0x131f, 0x2060, Any, Any, "parport_serial", {{2, 3}}},
    {0x131f, 0x2061, Any, Any, "parport_serial", {{2, 3}}},
    {0x131f, 0x2062, Any, Any, "parport_serial", {{2, 3}}},
    {0x1409, 0x7168, 0x1409, 0x4078, "parport_serial", {{2, -1}}},
    {0x1409, 0x7168, 0x1409, 0x4079, "parport_serial", {{2, 3}}},
    {0x1409, 0x7168, 0x1409, 0x4085, "parport_serial", {{2, -1}, {4, -1}}},
    {0x1409, 0x7168, 0x1409, 0x4088, "parport_serial", {{2, 3}, {4, 5}}},
    {0x1409, 0x7168, 0x1409, 0x4089, "parport_serial", {{2, 3}, {4, 5}}},
    {0x1409, 0x7168, 0x1409, 0x4095, "parport_serial", {{2, 3}, {4, 5}}},
    {0x1409, 0x7168, 0x1409, 0x4096, "parport_serial", {{2, 3}, {4, 5}}},
    {0x1409, 0x7168, 0x1409, 0x5078, "parport_serial", {{2, -1}}},
    {0x1409, 0x7168, 0x1409, 0x5079, "parport_serial", {{2, 3}}},
    {0x1409, 0x7168, 0x1409, 0x5085, "parport_serial", {{2, -1}, {4, -1}}},
    {0x1409, 0x7168, 0x1409, 0x6079, "parport_serial", {{2, 3}}},
    {0x1409, 0x7168, 0x1409, 0x7079, "parport_serial", {{2, 3}}},
    {0x1409, 0x7168, 0x1409, 0x8079, "parport_serial", {{2, 3}}},
    {0x1409, 0x7168, 0x1409, 0x9079, "parport_serial", {{2, 3}}},
    {0x1409, 0x7168, 0x1409, 0xa079, "parport_serial", {{2, 3}}},
    {0x1409, 0x7168, 0x1409, 0xb079, "parport_serial", {{2, 3}}},
    {0x1409, 0x7168, 0x1409, 0xc079, "parport_serial", {{2, 3}}},
    {0x1409, 0x7168, 0x1409, 0xd079, "parport_serial", {{2, 3}}},
    {0x4348, 0x5053, Any, Any, "parport_serial", {{1, -1}}},
    {0x4348, 0x7053, 0x4348, 0x3253, "parport_serial", {{2, -1}}},
    {0x1c00, 0x3250, 0x1c00, 0x3250, "parport_serial", {{2, -1}}},
    {0x135a, 0x4100, Any, Any, "parport_serial", {{3, -1}}},
    {0x1fd4, 0x1999, 0x1fd4, 0x0100, "parport_serial", {{1, 2}}},
    {0x1fd4, 0x1999, 0x1fd4, 0x0101, "parport_serial", {{1, 2}}},
    {0x1fd4, 0x1999, 0x1fd4, 0x0102, "parport_serial", {{1, 2}}},
    {0x1fd4, 0x1999, 0x1fd4, 0x0104, "parport_serial", {{1, 2}}},
    {0x135a, 0x0bc1, Any, Any, "parport_serial", {{3, -1}}},
    {0x135a, 0x0bc2, Any, Any, "parport_serial", {{3, -1}}},
    {0x135a, 0x0861, Any, Any, "parport_serial", {{3, -1}}},
    {0x135a, 0x0862, Any, Any, "parport_serial", {{3, -1}}},
    {0x135a, 0x0863, Any, Any, "parport_serial", {{3, -1}}},
    {0x135a, 0x0e61, Any, Any, "parport_serial", {{3, -1}}},
    {0x135a, 0x0981, Any, Any, "parport_serial", {{3, -1}}},
    {0x135a, 0x0982, Any, Any, "parport_serial", {{3, -1}}},
    {0x135a, 0x0da0, Any, Any, "parport_serial", {{3, -1}}},
    {0x135a, 0x402c, Any, Any, "parport_serial", {{3, -1}}},
};

inline const Card *findCard(std::uint16_t vendor, std::uint16_t device, std::uint16_t subVendor,
                            std::uint16_t subDevice)
{
    for (const Card &card : Cards)
        if (card.vendor == vendor && card.device == device
            && (card.subVendor == Any
                || (card.subVendor == subVendor && card.subDevice == subDevice)))
            return &card;
    return nullptr;
}

} // namespace doctor
