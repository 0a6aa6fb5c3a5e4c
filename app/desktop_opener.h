// Opens a device's web page with the desktop's opener (xdg-open on Linux).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/front_end.h"

namespace velmor {

// Starts `command` followed by the page's address as a process of its own and does not
// wait for it. The process gets none of the finder's descriptors: its standard streams
// are on /dev/null, so a browser's chatter neither fills the action log nor fails once
// the finder has gone, and it holds no end of the capture's pipe. A failure to start is
// silent, as a failure to open the page is.
class DesktopOpener : public PageOpener {
public:
    explicit DesktopOpener(std::vector<std::string> command = {"xdg-open"});
    void open(std::u16string_view url) override;

private:
    std::vector<std::string> opener;
};

} // namespace velmor
