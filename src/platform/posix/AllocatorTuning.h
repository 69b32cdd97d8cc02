// SPDX-FileCopyrightText: 2026 The Norvane developers
// SPDX-License-Identifier: MIT

#pragma once

namespace norvane {

// Keeps the memory of freed frames returning to the system. glibc gives every thread that allocates
// an arena of its own and, after the first large block is freed, raises its threshold for mapping
// large blocks separately, so the multi-megabyte window images read and encoded on worker threads end
// up inside arenas that never shrink. Malloc settings given in the environment (GLIBC_TUNABLES, MALLOC_*_)
// take precedence. Called once, first thing in main().
void limitAllocatorRetention();

} // namespace norvane
