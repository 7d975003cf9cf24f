#include "pci_ids.h"

#include "number_text.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace doctor {

namespace {

// The database is some 1.3 MB; anything far beyond it is not one.
constexpr long LineLimit = 200000;

bool hex4(const char *text, std::uint16_t &value)
{
    const number_text::Digits digits = number_text::LeadingDigits(std::string_view(text, 4), 16);
    if (digits.count != 4)
        return false;
    value = static_cast<std::uint16_t>(digits.value);
    return true;
}

// "1c00  Name" -> the ID and "Name", the two spaces and the line's end left out.
bool entry(const char *line, std::uint16_t &id, std::string &name)
{
    if (std::strlen(line) < 7 || !hex4(line, id) || line[4] != ' ' || line[5] != ' ')
        return false;
    name = line + 6;
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
        name.pop_back();
    return !name.empty();
}

} // namespace

std::map<PciId, std::string> pciNames(const std::set<PciId> &wanted, const std::string &path)
{
    std::map<PciId, std::string> names;
    if (wanted.empty())
        return names;
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "re"), std::fclose);
    if (!file)
        return names;
    char line[512];
    bool vendorWanted = false;
    std::uint16_t vendor = 0;
    std::string vendorName;
    bool whole = true; // the previous read ended its line
    for (long n = 0; n < LineLimit && std::fgets(line, sizeof line, file.get()); ++n) {
        const bool start = whole;
        whole = std::strchr(line, '\n') != nullptr;
        if (!start || line[0] == '#')
            continue;
        // The device classes follow the vendors; nothing wanted is there.
        if (line[0] == 'C' && line[1] == ' ')
            break;
        std::uint16_t id = 0;
        std::string name;
        if (line[0] != '\t') {
            vendorWanted = entry(line, id, name) && wanted.lower_bound({id, 0}) != wanted.end()
                           && wanted.lower_bound({id, 0})->first == id;
            vendor = id;
            vendorName = name;
            if (vendorWanted)
                for (auto it = wanted.lower_bound({id, 0}); it != wanted.end() && it->first == id;
                     ++it)
                    names[*it] = vendorName;
        } else if (vendorWanted && line[1] != '\t' && entry(line + 1, id, name)
                   && wanted.count({vendor, id})) {
            names[{vendor, id}] = vendorName + " " + name;
        }
    }
    return names;
}

} // namespace doctor
