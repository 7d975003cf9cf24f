#pragma once

#include "ppdev_port.h"

#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <map>
#include <utility>

// One parallel port behind a /dev/parportN, as the kernel's ppdev driver presents it. Each of
// these is checked on the real driver in the emulated machine (tools/qemu-port-test.sh):
//  - every open device has its own control lines, 0Ch when opened; data and status are the port's;
//  - register ioctls fail with EINVAL until the device has claimed the port;
//  - PPCLAIM while another holds the port sleeps until the holder's release; here it comes back
//    at once with EINTR, as the caller's timer makes it, and leaves the device on the wait list,
//    so that the holder's release hands the port to it;
//  - closing a device gives the port back and takes the device off the wait list;
//  - devices/active names the holder: "none", "lp0", "ppdev0".
struct FakeParport
{
    struct Device
    {
        unsigned char control = 0x0C;
        int direction = 0;
        bool waiting = false;
    };

    int openError = 0;
    std::map<unsigned long, int> ioctlError; // request → errno, PPCLAIM included
    std::string otherHolder = "none";        // who else holds the port
    std::string takesItInBetween;            // takes the port just before this program's PPCLAIM
    int claimsWhileHeld = 0;
    std::map<int, Device> devices; // open devices by descriptor
    int holder = -1;               // the device that holds the port
    int lastFd = 100;

    std::string active() const { return holder >= 0 ? "ppdev0" : otherHolder; }

    // The other holder gives the port back; a device still waiting gets it.
    void otherReleases()
    {
        otherHolder = "none";
        for (auto &[fd, device] : devices)
            if (std::exchange(device.waiting, false))
                holder = fd;
    }

    int claim(int fd)
    {
        claimsWhileHeld += otherHolder != "none";
        if (ioctlError.count(PPCLAIM))
            return -ioctlError[PPCLAIM];
        if (!takesItInBetween.empty())
            otherHolder = std::exchange(takesItInBetween, {});
        devices.at(fd).waiting = otherHolder != "none";
        if (!devices.at(fd).waiting)
            holder = fd;
        return holder == fd ? 0 : -EINTR;
    }

    int ioctl(int fd, unsigned long request, void *argument)
    {
        auto *byte = static_cast<unsigned char *>(argument);
        Device &device = devices.at(fd);
        if (ioctlError.count(request))
            return -ioctlError[request];
        if (request == PPRELEASE)
            holder = holder == fd ? -1 : holder;
        else if (holder != fd)
            return -EINVAL;
        else if (request == PPRDATA)
            *byte = 0x00;
        else if (request == PPRSTATUS)
            *byte = 0xD8;
        else if (request == PPRCONTROL)
            *byte = device.control;
        else if (request == PPWCONTROL)
            device.control = *byte & 0x0F;
        else if (request == PPDATADIR)
            device.direction = *static_cast<int *>(argument);
        else
            return -ENOTTY;
        return 0;
    }

    // The calls of the device file at path; no other path exists.
    port::PpdevCalls calls(const std::string &path)
    {
        return {
            [this, path](const std::string &opened) {
                if (opened != path || openError)
                    return opened != path ? -ENOENT : -openError;
                devices[++lastFd] = Device{};
                return lastFd;
            },
            [this](int fd, unsigned long request, void *argument) {
                return ioctl(fd, request, argument);
            },
            [this](int fd) {
                holder = holder == fd ? -1 : holder;
                devices.erase(fd);
            },
            [this](int fd, int) { return claim(fd); },
            [this](const std::string &) { return active(); },
        };
    }
};
