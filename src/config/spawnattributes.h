#pragma once

#include <spawn.h>

namespace keelwatch {

// posix_spawn attributes for a child that starts as a new program expects:
// no signal blocked and every signal at its default action, whatever this
// program blocks or ignores. extraFlags adds, for one, a session of its own.
class SpawnAttributes
{
  public:
    explicit SpawnAttributes(short extraFlags = 0);
    ~SpawnAttributes();
    SpawnAttributes(const SpawnAttributes &) = delete;
    SpawnAttributes &operator=(const SpawnAttributes &) = delete;

    const posix_spawnattr_t *Get() const { return &attributes; }

  private:
    posix_spawnattr_t attributes;
};

} // namespace keelwatch
