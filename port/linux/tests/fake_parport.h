#pragma once

#include "ppdev_port.h"

#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <map>
#include <utility>

// One parallel port behind a /dev/parportN, as the kernel's ppdev driver presents it to one
// program, which opens one device at a time. Each of these is checked on the real driver in the
// emulated machine (tools/qemu-port-test.sh):
//  - a device opened starts with control lines 0Ch; data and status are the port's;
//  - register ioctls fail with EINVAL until the device has claimed the port;
//  - PPCLAIM while another holds the port sleeps until the holder's release; here it comes back
//    at once with EINTR, as the caller's timer makes it, and leaves the device on the wait list,
//    so that the holder's release hands the port to it;
//  - closing a device gives the port back and takes the device off the wait list;
//  - devices/active names the holder: "none", "lp0", "ppdev0".
struct FakeParport
{
    int openError = 0;
    std::map<unsigned long, int> ioctlError; // request → errno, PPCLAIM included
    std::string otherHolder = "none";        // who else holds the port
    std::string takesItInBetween;            // takes the port just before this program's PPCLAIM
    int claimsWhileHeld = 0;
    bool opened = false;
    bool claimed = false;
    bool waiting = false;
    std::map<unsigned long, unsigned char> registers{{PPRDATA, 0x00}, {PPRSTATUS, 0xD8}};
    int direction = 0;

    std::string active() const { return claimed ? "ppdev0" : otherHolder; }

    // The other holder gives the port back; a device still waiting gets it.
    void otherReleases()
    {
        otherHolder = "none";
        claimed = claimed || waiting;
    }

    int ioctl(unsigned long request, void *argument)
    {
        if (ioctlError.count(request))
            return -ioctlError[request];
        if (request == PPCLAIM) {
            claimsWhileHeld += otherHolder != "none";
            if (!takesItInBetween.empty())
                otherHolder = std::exchange(takesItInBetween, {});
            waiting = otherHolder != "none";
            claimed = !waiting;
            return waiting ? -EINTR : 0;
        }
        auto *byte = static_cast<unsigned char *>(argument);
        if (request == PPRELEASE)
            claimed = false;
        else if (!claimed)
            return -EINVAL;
        else if (registers.count(request))
            *byte = registers[request];
        else if (request == PPWDATA)
            registers[PPRDATA] = *byte; // nothing drives the lines: the latch reads back
        else if (request == PPWCONTROL)
            registers[PPRCONTROL] = *byte & 0x0F;
        else if (request == PPDATADIR)
            direction = *static_cast<int *>(argument);
        else
            return -ENOTTY;
        return 0;
    }

    // The calls of the device file at path; no other path exists.
    port::PpdevCalls calls(const std::string &path)
    {
        return {
            [this, path](const std::string &name) {
                if (name != path || openError)
                    return name != path ? -ENOENT : -openError;
                registers[PPRCONTROL] = 0x0C;
                direction = 0;
                opened = true;
                return 3;
            },
            [this](int, unsigned long request, void *argument) { return ioctl(request, argument); },
            [this](int) { opened = claimed = waiting = false; },
            [this](int, int) { return ioctl(PPCLAIM, nullptr); },
            [this](const std::string &) { return active(); }};
    }
};
