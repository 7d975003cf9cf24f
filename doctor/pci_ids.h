#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace doctor {

// Debian's pci.ids package puts the PCI ID database here.
inline constexpr const char *PciIdsPath = "/usr/share/misc/pci.ids";

using PciId = std::pair<std::uint16_t, std::uint16_t>; // vendor, device

// The names of the given vendor and device pairs, "Vendor Device", from a pci.ids file: read once,
// only as far as the vendors' section goes. A pair whose vendor the file does not know is left
// out, as is everything when the file cannot be read: a name is a nicety, never a fault.
std::map<PciId, std::string> pciNames(const std::set<PciId> &wanted,
                                      const std::string &path = PciIdsPath);

} // namespace doctor
