// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#include "AllocatorTuning.h"

#include <QByteArray>
#include <QtGlobal>

#include <malloc.h>

namespace norvane {

namespace {

// glibc reads its malloc settings from the environment at start-up; a setting made there is the
// user's (or a benchmark's) choice and must not be overridden here.
bool environmentTunesAllocator() {
    static constexpr const char* kVariables[] = {"MALLOC_ARENA_MAX", "MALLOC_MMAP_THRESHOLD_",
                                                 "MALLOC_TRIM_THRESHOLD_", "MALLOC_TOP_PAD_"};
    for (const char* name : kVariables) {
        if (qEnvironmentVariableIsSet(name))
            return true;
    }
    return qgetenv("GLIBC_TUNABLES").contains("glibc.malloc.");
}

} // namespace

void limitAllocatorRetention() {
#ifdef __GLIBC__
    if (environmentTunesAllocator())
        return;
    // Two arenas serve the main thread and the few workers; a fixed threshold stops glibc's dynamic
    // adjustment, so every image buffer (a 1024 px frame is 4 MB) is its own mapping, given back on free.
    mallopt(M_ARENA_MAX, 2);
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
}

} // namespace norvane
