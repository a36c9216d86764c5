#pragma once

#include <linux/fb.h>

#include <cstddef>
#include <memory>
#include <string>

namespace qz {

// The operating-system calls the framebuffer needs, behind one interface so
// tests can hand in padded screen information and plain memory as the mapping.
class FramebufferDevice {
public:
    virtual ~FramebufferDevice() = default;
    // Opens the device; on failure returns false and sets error to the
    // operating system's text.
    virtual bool open(std::string& error) = 0;
    virtual void get_var(fb_var_screeninfo& var) = 0;
    virtual void get_fix(fb_fix_screeninfo& fix) = 0;
    // Shows the screen from the record's xoffset and yoffset (a pan request,
    // which changes nothing else of the mode).
    virtual void pan_display(const fb_var_screeninfo& var) = 0;
    // Maps len bytes; nullptr on failure.
    virtual void* map(size_t len) = 0;
    virtual void unmap(void* addr, size_t len) = 0;
    virtual void close() = 0;
    virtual int fd() const = 0;
};

// The real "/dev/fb0" (under the device root).
std::unique_ptr<FramebufferDevice> make_linux_framebuffer_device();

}  // namespace qz
