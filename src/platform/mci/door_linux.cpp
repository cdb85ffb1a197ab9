// The tray of the machine's disc drive, through the CD-ROM ioctls.  Only the
// real backend comes here; the simulation has a drive of its own.
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/mci/errors.hpp"
#include "platform/mci/mci.hpp"

namespace t2::mci {

uint32_t move_drive_door(bool open) {
    int fd = ::open("/dev/cdrom", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) fd = ::open("/dev/sr0", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kDeviceNotReady;
    const int r = ioctl(fd, open ? CDROMEJECT : CDROMCLOSETRAY, 0);
    ::close(fd);
    return r == 0 ? kOk : kDeviceNotReady;
}

}  // namespace t2::mci
