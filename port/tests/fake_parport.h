#pragma once

#include "ppdev_port.h"

#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <map>
#include <memory>
#include <utility>
#include <vector>

// One parallel port behind /dev/parportN, as the kernel's ppdev driver presents it. Each of
// these is checked on the real driver in the emulated machine (tools/qemu-port-test.sh):
//  - every open device has its own control lines, 0Ch when opened, restored at each claim; data
//    and status are the port's;
//  - register ioctls fail with EINVAL until the device has claimed the port;
//  - PPCLAIM while another holds the port sleeps until the holder's release; here it comes back
//    at once with EINTR, as the caller's timer makes it, and leaves the device on the wait list,
//    so that the holder's release hands the port to it (the kernel's code; in the emulator that
//    release did not even return, so only the closing is checked there);
//  - closing a device gives the port back and takes the device off the wait list;
//  - devices/active names the holder: "none", "lp0", "ppdev0".
class FakeParport
{
public:
    int openError = 0;
    std::map<unsigned long, int> ioctlError; // request → errno, PPCLAIM included

    unsigned char data = 0;
    unsigned char status = 0xD8;
    std::string otherHolder = "none"; // who else holds the port
    // Another program takes the port between the look at devices/active and PPCLAIM.
    std::string takesItInBetween;

    struct Device
    {
        unsigned char control = 0x0C;
        int direction = 0;
        bool waiting = false;
    };
    std::map<int, Device> devices; // open devices by descriptor
    int holder = -1;               // the device that holds the port

    int opens = 0;
    int closes = 0;
    std::vector<unsigned long> requests; // every ioctl and claim, in order

    std::string active() const { return holder >= 0 ? "ppdev0" : otherHolder; }

    // The other holder gives the port back; a device still waiting gets it.
    void otherReleases()
    {
        otherHolder = "none";
        for (auto &[fd, device] : devices) {
            if (device.waiting) {
                device.waiting = false;
                holder = fd;
                return;
            }
        }
    }

    int open(int fd)
    {
        if (openError)
            return -openError;
        ++opens;
        devices[fd] = Device{};
        return fd;
    }

    void close(int fd)
    {
        ++closes;
        if (holder == fd)
            holder = -1;
        devices.erase(fd);
    }

    int claim(int fd)
    {
        requests.push_back(PPCLAIM);
        if (const auto error = ioctlError.find(PPCLAIM); error != ioctlError.end())
            return -error->second;
        if (!takesItInBetween.empty())
            otherHolder = std::exchange(takesItInBetween, {});
        if (otherHolder != "none") {
            devices.at(fd).waiting = true;
            return -EINTR;
        }
        holder = fd;
        return 0;
    }

    int ioctl(int fd, unsigned long request, void *argument)
    {
        requests.push_back(request);
        if (const auto error = ioctlError.find(request); error != ioctlError.end())
            return -error->second;
        Device &device = devices.at(fd);
        auto *byte = static_cast<unsigned char *>(argument);
        if (request == PPRELEASE) {
            if (holder == fd)
                holder = -1;
            return 0;
        }
        if (holder != fd)
            return -EINVAL;
        switch (request) {
        case PPRDATA:
            *byte = device.direction ? 0xFF : data;
            return 0;
        case PPWDATA:
            data = *byte;
            return 0;
        case PPRSTATUS:
            *byte = status;
            return 0;
        case PPRCONTROL:
            *byte = device.control;
            return 0;
        case PPWCONTROL:
            device.control = *byte & 0x0F;
            return 0;
        case PPDATADIR:
            device.direction = *static_cast<int *>(argument);
            return 0;
        }
        return -ENOTTY;
    }

    // Calls for the device files given by path; devices/active is looked up by the file's name.
    static port::PpdevCalls calls(std::map<std::string, FakeParport *> ports)
    {
        auto byFd = std::make_shared<std::map<int, FakeParport *>>();
        auto nextFd = std::make_shared<int>(100);
        return {
            [ports, byFd, nextFd](const std::string &path) {
                const auto port = ports.find(path);
                if (port == ports.end())
                    return -ENOENT;
                const int result = port->second->open(++*nextFd);
                if (result >= 0)
                    (*byFd)[result] = port->second;
                return result;
            },
            [byFd](int fd, unsigned long request, void *argument) {
                return byFd->at(fd)->ioctl(fd, request, argument);
            },
            [byFd](int fd) {
                byFd->at(fd)->close(fd);
                byFd->erase(fd);
            },
            [byFd](int fd, int) { return byFd->at(fd)->claim(fd); },
            [ports](const std::string &name) {
                for (const auto &[path, port] : ports)
                    if (path.size() > name.size()
                        && path.compare(path.size() - name.size() - 1, std::string::npos,
                                        "/" + name)
                               == 0)
                        return port->active();
                return std::string();
            },
        };
    }
};
