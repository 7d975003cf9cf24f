#pragma once

#include "ppdev_port.h"

#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <map>
#include <memory>
#include <vector>

// A parallel port behind a fake /dev/parportN, as the kernel's ppdev driver presents it: register
// ioctls fail with EINVAL until PPCLAIM, and control reads give only the cached bits 0-3.
class FakeParport
{
public:
    int openError = 0;
    std::map<unsigned long, int> ioctlError; // request → errno

    unsigned char data = 0;
    unsigned char status = 0xD8;
    unsigned char control = 0x0C;
    int direction = 0;

    int opens = 0;
    int closes = 0;
    bool claimed = false;
    std::vector<unsigned long> requests; // every ioctl, in order
    std::vector<unsigned char> controlWrites;

    int open()
    {
        if (openError)
            return -openError;
        ++opens;
        return 100;
    }

    int ioctl(unsigned long request, void *argument)
    {
        requests.push_back(request);
        if (const auto error = ioctlError.find(request); error != ioctlError.end())
            return -error->second;
        auto *byte = static_cast<unsigned char *>(argument);
        switch (request) {
        case PPCLAIM:
            claimed = true;
            return 0;
        case PPRELEASE:
            claimed = false;
            return 0;
        }
        if (!claimed)
            return -EINVAL;
        switch (request) {
        case PPRDATA:
            *byte = direction ? 0xFF : data;
            return 0;
        case PPWDATA:
            data = *byte;
            return 0;
        case PPRSTATUS:
            *byte = status;
            return 0;
        case PPRCONTROL:
            *byte = control & 0x0F;
            return 0;
        case PPWCONTROL:
            controlWrites.push_back(*byte);
            control = *byte & 0x0F;
            return 0;
        case PPDATADIR:
            direction = *static_cast<int *>(argument);
            return 0;
        }
        return -ENOTTY;
    }

    // Calls for one device file; several fakes can be told apart by path.
    static inpout::PpdevCalls calls(std::map<std::string, FakeParport *> devices)
    {
        auto byFd = std::make_shared<std::map<int, FakeParport *>>();
        auto nextFd = std::make_shared<int>(100);
        return {
            [devices, byFd, nextFd](const std::string &path) {
                const auto device = devices.find(path);
                if (device == devices.end())
                    return -ENOENT;
                const int result = device->second->open();
                if (result < 0)
                    return result;
                (*byFd)[++*nextFd] = device->second;
                return *nextFd;
            },
            [byFd](int fd, unsigned long request, void *argument) {
                return byFd->at(fd)->ioctl(request, argument);
            },
            [byFd](int fd) {
                ++byFd->at(fd)->closes;
                byFd->erase(fd);
            },
        };
    }
};
