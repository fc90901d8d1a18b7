#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace qm {

// Whether an X server accepts a connection at `display`, written as $DISPLAY is:
// [host]:number[.screen]. A display without a host (or with "unix") is looked for as the
// socket <socketFolder>/X<number>, in the file system and in the abstract namespace; one on a
// host is tried over TCP at port 6000 + number, for at most `wait`. Qt ends the process when
// it cannot reach its display, so the program asks this first.
bool X11DisplayAnswers(std::string_view display, const std::string& socketFolder = "/tmp/.X11-unix",
                       std::chrono::milliseconds wait = std::chrono::seconds(2));

} // namespace qm
