#pragma once

#include <cstddef>

// Memory the process holds now and has held at most, in bytes (its working set), for the
// figures the cell data programs print.
size_t CurrentMemoryBytes();
size_t PeakMemoryBytes();
