#include "config/spawnattributes.h"

#include <csignal>

namespace keelwatch {

SpawnAttributes::SpawnAttributes(short extraFlags)
{
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             short(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | extraFlags));
}

SpawnAttributes::~SpawnAttributes()
{
    posix_spawnattr_destroy(&attributes);
}

} // namespace keelwatch
