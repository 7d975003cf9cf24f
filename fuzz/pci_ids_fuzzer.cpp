// Any bytes as the PCI ID database, asked for the pairs its own first bytes spell and for one
// fixed pair: reading never fails, names only pairs that were asked for, and each name is one
// line of bounded length.
#include "pci_ids.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const QTemporaryDir folder; // removed at exit
    const QString path = folder.filePath(u"pci.ids"_qs);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size)
        || !file.flush())
        qFatal("pci_ids: the input could not be written to %s", qPrintable(path));
    std::set<doctor::PciId> wanted{{0x1c00, 0x3050}};
    const std::string text(reinterpret_cast<const char *>(data), std::min<std::size_t>(size, 9));
    std::uint16_t vendor = 0, device = 0;
    if (std::sscanf(text.c_str(), "%4hx\t%4hx", &vendor, &device) >= 1)
        wanted.insert({vendor, device});
    for (const auto &[id, name] : doctor::pciNames(wanted, path.toStdString()))
        if (!wanted.count(id) || name.empty() || name.size() > 1024
            || name.find('\n') != std::string::npos)
            qFatal("pci_ids: named %04x:%04x \"%s\"", id.first, id.second, name.c_str());
    return 0;
}
