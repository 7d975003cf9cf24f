#include "doctor.h"
#include "named_cases.h"
#include "pci_ids.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <map>
#include <unistd.h>

namespace {

using doctor::Findings;

struct FakeProbes : doctor::Probes
{
    int deviceError = 0;
    int iopermError = EPERM;
    int devPortError = EACCES;
    std::optional<port::PortFailure> helperFailure;

    int openDevice(const std::string &) override { return deviceError; }
    int ioperm(std::uint16_t, unsigned) override { return iopermError; }
    int openDevPort(const std::string &) override { return devPortError; }
    std::optional<port::PortFailure> helper(const std::string &) override { return helperFailure; }
};

struct Bar
{
    unsigned start = 0;
    unsigned length = 0;
    bool io = true;
};

// A PCI function as sysfs shows it (Documentation/ABI/testing/sysfs-bus-pci).
void pci(const TempDir &root, const std::string &slot, const std::string &ids, unsigned classCode,
         const std::vector<Bar> &bars, bool ioOn = true, const std::string &driver = "")
{
    const std::string folder = "sys/bus/pci/devices/" + slot + "/";
    const char *names[] = {"vendor", "device", "subsystem_vendor", "subsystem_device"};
    for (int i = 0; i < 4; ++i)
        root.write(folder + names[i], "0x" + ids.substr(5 * i, 4) + "\n");
    char line[80];
    std::snprintf(line, sizeof line, "0x%06x\n", classCode);
    root.write(folder + "class", line);
    std::string resource;
    for (std::size_t i = 0; i < 7; ++i) {
        const Bar bar = i < bars.size() ? bars[i] : Bar{};
        std::snprintf(line, sizeof line, "0x%016x 0x%016x 0x%016x\n", bar.start,
                      bar.length ? bar.start + bar.length - 1 : 0,
                      bar.length ? (bar.io ? 0x40101u : 0x40200u) : 0u);
        resource += line;
    }
    root.write(folder + "resource", resource);
    std::string config(64, '\0');
    config[4] = ioOn ? 3 : 2;
    root.write(folder + "config", config);
    if (!driver.empty()) {
        root.write("sys/bus/pci/drivers/" + driver + "/bind", "");
        std::filesystem::create_directory_symlink("../../../bus/pci/drivers/" + driver,
                                                  root.str() + "/" + folder + "driver");
    }
}

void kernelPort(const TempDir &root, const std::string &name, const std::string &baseAddr)
{
    const std::string folder = "proc/sys/dev/parport/" + name + "/";
    root.write(folder + "base-addr", baseAddr);
    root.write(folder + "modes", "PCSPP,TRISTATE,COMPAT,ECP\n");
    root.write(folder + "devices/active", "none\n");
}

void pnp(const TempDir &root, const std::string &id, const std::string &resources)
{
    root.write("sys/bus/pnp/devices/00:05/id", id + "\n");
    root.write("sys/bus/pnp/devices/00:05/resources", "state = active\n" + resources);
}

void usbAdapter(const TempDir &root)
{
    root.write("sys/devices/usb1/1-1/product", "USB-Parallel Bridge\n");
    root.write("sys/devices/usb1/1-1/1-1:1.0/usbmisc/lp0/dev", "180:0\n");
    std::filesystem::create_directories(root.str() + "/sys/class/usbmisc");
    std::filesystem::create_directory_symlink("../../devices/usb1/1-1/1-1:1.0/usbmisc/lp0",
                                              root.str() + "/sys/class/usbmisc/lp0");
    std::filesystem::create_directory_symlink(
        "../../../1-1:1.0", root.str() + "/sys/devices/usb1/1-1/1-1:1.0/usbmisc/lp0/device");
}

const std::vector<Bar> Parallel = {{0xD010, 8}, {0xD410, 4}};

doctor::System systemAt(const TempDir &root)
{
    return {root.str() + "/proc", root.str() + "/sys", root.str() + "/dev",
            root.str() + "/etc/velmora/portio.conf", root.str() + "/pci.ids"};
}

// "D010 ecp D410 kernel,pci ppdev; ...": what a person reads first of each port.
std::string summary(const Findings &findings)
{
    std::string text;
    for (const doctor::FoundPort &port : findings.ports) {
        char base[32] = "usb";
        if (port.base)
            std::snprintf(base, sizeof base, port.ecpBase ? "%X ecp %X" : "%X",
                          unsigned(*port.base), unsigned(port.ecpBase.value_or(0)));
        text += (text.empty() ? "" : "; ") + std::string(base);
        std::string sources;
        for (const doctor::Source source : port.sources)
            sources += (sources.empty() ? "" : ",") + std::string(doctor::sourceName(source));
        text += " " + sources + " " + (port.path ? doctor::pathName(*port.path) : "none");
    }
    return text;
}

struct Machine : NamedCase
{
    struct
    {
        std::string ports;   // summary()
        std::string problem; // part of the first port's problem
        std::string fix;     // part of its fix
        std::string textHas; // part of the text
    } expected;
    std::function<void(const TempDir &, FakeProbes &)> build;
};

class Machines : public testing::TestWithParam<Machine>
{};

TEST_P(Machines, FindEveryPortAndWhatReachesIt)
{
    const Machine &machine = GetParam();
    TempDir root;
    FakeProbes probes;
    if (machine.expected.ports.find("admin") != std::string::npos && ::geteuid() != 0)
        GTEST_SKIP() << "the administrator's file must belong to root";
    machine.build(root, probes);
    const Findings findings = doctor::findPorts(systemAt(root), probes);
    EXPECT_EQ(summary(findings), machine.expected.ports);
    const doctor::FoundPort none;
    const doctor::FoundPort &first = findings.ports.empty() ? none : findings.ports[0];
    EXPECT_NE(first.problem.find(machine.expected.problem), std::string::npos) << first.problem;
    EXPECT_NE(first.fix.find(machine.expected.fix), std::string::npos) << first.fix;
    EXPECT_TRUE(machine.expected.fix.empty() || first.alternative.find("io=") == std::string::npos
                || findings.lockdown.empty());
    const std::string text = doctor::renderText(findings);
    // "!text": the text must not say it, as a listing that ends "No falta nada" while
    // nothing reaches the port.
    if (machine.expected.textHas.rfind('!', 0) == 0)
        EXPECT_EQ(text.find(machine.expected.textHas.substr(1)), std::string::npos) << text;
    else
        EXPECT_NE(text.find(machine.expected.textHas), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Machines,
    testing::Values(
        Machine{{"UnboundParallelCard"},
                {"D010 ecp D410 pci none", "velmora-portio no sirve D010h",
                 "printf 'D010-D017\\nD410-D412\\n' | sudo tee -a ",
                 "modprobe parport_pc io=0xD010 io_hi=0xD410"},
                [](const TempDir &root, FakeProbes &) {
                    pci(root, "0000:03:00.0", "1234 5678 1234 0001", 0x070103, Parallel);
                }},
        Machine{{"BoundCardListedByTheKernel"},
                {"D010 ecp D410 kernel,pci ppdev", "", "",
                 "parport1, en uso por lp0; abierto por 1234 (cupsd)"},
                [](const TempDir &root, FakeProbes &) {
                    pci(root, "0000:03:00.0", "1234 5678 1234 0001", 0x070103, Parallel, true,
                        "parport_pc");
                    kernelPort(root, "parport1", "53264\t54288\n");
                    root.write("proc/sys/dev/parport/parport1/devices/active", "lp0\n");
                    root.write("proc/1234/comm", "cupsd\n");
                    std::filesystem::create_directories(root.str() + "/proc/1234/fd");
                    std::filesystem::create_symlink(root.str() + "/dev/parport1",
                                                    root.str() + "/proc/1234/fd/3");
                }},
        Machine{{"UnboundCardOnceItsFixIsApplied"},
                {"D010 ecp D410 pci,admin helper", "", "", "No falta nada"},
                [](const TempDir &root, FakeProbes &) {
                    pci(root, "0000:03:00.0", "1234 5678 1234 0001", 0x070103, Parallel);
                    root.write("etc/velmora/portio.conf", "D010-D017\nD410-D412\n");
                }},
        Machine{{"MultiIoCardWhoseBar0IsSerial"},
                {"E880 pci none", "no sirve E880h", "E880-E887\\n'", "controlador ninguno"},
                [](const TempDir &root, FakeProbes &) {
                    pci(root, "0000:04:00.0", "9710 9835 1000 0012", 0x070002,
                        {{0xEC00, 8}, {0xE800, 8}, {0xE880, 8}, {0xE480, 8}});
                }},
        Machine{
            {"CardWithIoDecodingOff"},
            {"CC00 pci none", "decodificación de E/S", "/enable\nsudo mkdir -p ",
             "/bus/pci/devices/0000:05:00.0/enable"},
            [](const TempDir &root, FakeProbes &) {
                pci(root, "0000:05:00.0", "1234 5678 1234 0001", 0x070100, {{0xCC00, 8}}, false);
            }},
        Machine{{"FirmwareOnlyPort"},
                {"378 ecp 778 firmware helper", "", "", "No falta nada"},
                [](const TempDir &root, FakeProbes &) {
                    pnp(root, "PNP0401", "io 0x378-0x37f\nio 0x778-0x77a\nirq 7\n");
                }},
        Machine{{"RootWithNoPathAtAll"},
                {"378 firmware none", "no está instalado", "Instale Velmora.", "!No falta nada"},
                [](const TempDir &root, FakeProbes &probes) {
                    pnp(root, "PNP0400", "io 0x378-0x37f\n");
                    probes.iopermError = ENOSYS;
                    probes.devPortError = ENOENT;
                    probes.helperFailure = {"velmora-portio no está instalado", "Instale Velmora.",
                                            ENOENT};
                }},
        Machine{{"KernelPortForAUserOutsideLp"},
                {"378 ecp 778 kernel none", "su usuario no tiene permiso",
                 "sudo usermod -aG lp $USER", "rmmod"},
                [](const TempDir &root, FakeProbes &probes) {
                    kernelPort(root, "parport0", "888\t1912\n");
                    probes.deviceError = EACCES;
                }},
        Machine{{"LockedDownKernel"},
                {"D020 pci none", "ningún ajuste salta",
                 "sudo modprobe parport_pc && sudo modprobe ppdev", "bloqueado"},
                [](const TempDir &root, FakeProbes &) {
                    root.write("sys/kernel/security/lockdown",
                               "none [integrity] confidentiality\n");
                    pci(root, "0000:03:00.0", "1c00 3050 1c00 3050", 0x070102,
                        {{0xD000, 8, false}, {0xD010, 8}, {0xD020, 8}});
                }},
        // The bridge chip of one card is on many others: only its subsystem makes it a
        // parallel card, and a known card's ECP block is the BAR its table names.
        Machine{{"MultiIoCardsKnownBySubsystem"},
                {"A400 ecp A800 pci none; B400 pci none; B800 pci none", "ningún ajuste salta",
                 "sudo modprobe parport_serial", "Tarjeta 0000:07:00.0 [10b5:9050]"},
                [](const TempDir &root, FakeProbes &) {
                    root.write("sys/kernel/security/lockdown", "none [integrity]\n");
                    pci(root, "0000:06:00.0", "1fd4 1999 1fd4 0102", 0x070002,
                        {{0xA000, 8}, {0xA400, 8}, {0xA800, 4}});
                    pci(root, "0000:07:00.0", "10b5 9050 d84d 4014", 0x078000,
                        {{0xF000, 128, false}, {}, {}, {}, {0xB400, 8}, {0xB800, 8}});
                    pci(root, "0000:08:00.0", "10b5 9050 10b5 9050", 0x078000,
                        {{0xF100, 128, false}, {}, {}, {}, {0xC400, 8}, {0xC800, 8}});
                }},
        Machine{{"LockedDownKernelAndAFirmwarePort"},
                {"378 firmware none", "ningún ajuste salta", "", "!No falta nada"},
                [](const TempDir &root, FakeProbes &) {
                    root.write("sys/kernel/security/lockdown", "none [integrity]\n");
                    pnp(root, "PNP0400", "io 0x378-0x37f\n");
                }},
        Machine{{"UsbPrinterAdapter"},
                {"usb usb none", "protocolo de impresora", "", "USB-Parallel Bridge"},
                [](const TempDir &root, FakeProbes &) { usbAdapter(root); }},
        Machine{{"NonParallelCardWithAnIoBar"},
                {"", "", "", "Ninguno"},
                [](const TempDir &root, FakeProbes &) {
                    pci(root, "0000:02:00.0", "8086 100e 8086 001e", 0x020000, {{0xC000, 64}});
                }},
        Machine{{"NoPortAtAll"}, {"", "", "", "Ninguno"}, [](const TempDir &, FakeProbes &) {}}),
    CaseName());

// What an error about an address says: the problem and fix of the port that holds it, even in its
// ECP block; the driver's failure where that port is reachable; and where no port is, the
// driver's failure, that, and the ports there are (with none at all: e2e/velmora_wine_e2e.sh).
TEST(Advice, ForAnAddressIsThePortsProblemAndFixOrTheDriversReason)
{
    TempDir root;
    FakeProbes probes;
    kernelPort(root, "parport0", "888\t1912\n");
    probes.deviceError = EACCES;
    pnp(root, "PNP0400", "io 0x3bc-0x3bf\n");
    const Findings found = doctor::findPorts(systemAt(root), probes);
    const port::PortFailure driver{"falló", "Otra vez.", EIO};
    const auto said = [&](const Findings &findings, std::uint16_t address) {
        const port::PortFailure failure = doctor::adviceFor(findings, address, driver);
        return failure.reason + " | " + failure.remedy;
    };
    EXPECT_NE(said(found, 0x77A).find("no tiene permiso (EACCES) | sudo usermod -aG lp $USER"),
              std::string::npos);
    EXPECT_EQ(said(found, 0x3BE), "falló | Otra vez.");
    EXPECT_EQ(said(found, 0x3C4), "falló; además, el sistema no conoce ningún puerto paralelo en "
                                  "esa dirección; conoce los de 888 (378h), 956 (3BCh) | Otra "
                                  "vez.\n\nUse la dirección de uno de ellos.");
}

// What a script reads: checked by a real JSON reader, key by key.
TEST(PortsJson, IsOneArraySortedByBaseWithEveryKey)
{
    TempDir root;
    FakeProbes probes;
    pci(root, "0000:03:00.0", "1234 5678 1234 0001", 0x070103, Parallel, true, "parport_pc");
    kernelPort(root, "parport1", "53264\t54288\n");
    pnp(root, "PNP0400", "io 0x378-0x37f\n");
    usbAdapter(root);
    root.write("pci.ids", "# comment\n1234  Acme \"Quoted\"\n\t5678  Parallel Card\n");
    const Findings findings = doctor::findPorts(systemAt(root), probes);
    const std::string json = doctor::renderJson(findings);
    const auto file = root.write("ports.json", json);
    // What the pin window offers to choose from: the same ports, each by the name a person knows.
    std::string named;
    for (const doctor::NamedPort &port : doctor::namedPorts(findings))
        named += std::to_string(port.base) + " " + port.label + "; ";
    EXPECT_EQ(named, "888 firmware (ACPI); 53264 parport1; ");
    const std::string check =
        "import json,sys\n"
        "d = json.load(open(sys.argv[1]))\n"
        "keys = {'base','ecp_base','sources','kernel_port','device','pci','modes','reachable',"
        "'path','problem','fix'}\n"
        "assert all(keys <= set(p) for p in d), d\n"
        "assert [p['base'] for p in d] == [0x378, 0xD010, None], d\n"
        "assert d[1]['sources'] == ['kernel', 'pci'] and d[1]['path'] == 'ppdev'\n"
        "assert d[1]['pci'] == {'slot': '0000:03:00.0', 'vendor': '1234', 'device': '5678', "
        "'name': 'Acme \"Quoted\" Parallel Card', 'driver': 'parport_pc', 'io_enabled': True}\n"
        "assert d[0]['pci'] is None and d[0]['ecp_base'] is None and d[0]['fix'] is None\n"
        "assert d[2]['reachable'] is False and d[2]['path'] is None\n";
    root.write("check.py", check);
    if (std::system("python3 -c '' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3 is not installed";
    EXPECT_EQ(std::system(("python3 " + root.str() + "/check.py " + file.string()).c_str()), 0)
        << json;
}

// The PCI database is the system's data: a broken or absent one costs a name, nothing more.
TEST(PciIds, NamesWhatItCanAndNothingElse)
{
    TempDir root;
    // fgets reads 511 characters at a time: the rest of a longer line is not a line of its own.
    const std::string longLine = "\t3051  " + std::string(504, 'x') + "\t1111  Wrong";
    const auto path =
        root.write("pci.ids", "1c00  Vendor\n" + longLine
                                  + "\n\t305\n\t3050  Card\n\t\t1c00 3050  Sub\n"
                                    "9710  Other\nC 07  Communication controller\n\t01  Parallel\n")
            .string();
    const auto names =
        doctor::pciNames({{0x1c00, 0x3050}, {0x1c00, 0x1111}, {0x0701, 0x0001}}, path);
    EXPECT_EQ(names, (std::map<doctor::PciId, std::string>{{{0x1c00, 0x3050}, "Vendor Card"},
                                                           {{0x1c00, 0x1111}, "Vendor"}}));
    EXPECT_TRUE(doctor::pciNames({{0x1c00, 0x3050}}, root.str() + "/none").empty());
}

} // namespace
