#pragma once

#include "platform/FileSystem.h"

#include <memory>
#include <string>

namespace qm {

// Image moves held inside two folders by their descriptors (see ConfinedMoves). Parts are
// resolved with openat2 and RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS, so links that stay inside
// still work; on a kernel without openat2 the components are walked one by one with
// O_NOFOLLOW and a symbolic link met on the way is refused. `imageHost` and `bifHost` are host
// paths; "" stands for a folder that cannot be reached.
std::unique_ptr<ConfinedMoves> OpenPosixConfinedMoves(const std::string& imageHost,
                                                      const std::string& bifHost);

namespace detail {
// Makes every later resolution walk the components, as on a kernel without openat2.
void WalkComponentsWithoutOpenat2(bool walk);
} // namespace detail

} // namespace qm
