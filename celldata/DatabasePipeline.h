#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "BtsDatabaseWriter.h"
#include "WorkerThread.h"

// Writes networks' database files with both processors busy: a network's areas are converted
// in batches (BtsDatabaseWriter), each taken by whichever of two threads is free, while a
// third thread writes the finished batches to the file in order.
class DatabasePipeline {
public:
    // districts: CellExportReader::Districts(), read while the pipeline lives.
    explicit DatabasePipeline(const std::vector<std::string>& districts);

    // cells: one network's cells as BtsDatabaseWriter::AppendNetwork takes them. Calls
    // unreachable for every cell the reader will not find, in the order of their lines (on
    // the writing thread); adds the bytes written to bytes. False when the file cannot be
    // written.
    bool Write(HANDLE file, const CellRecord* cells, size_t count,
               const std::function<void(const UnreachableCell&)>& unreachable,
               unsigned long long& bytes);

private:
    // Batches converted but not yet written at most: the memory for the bytes stays bounded.
    static const size_t kSlots = 4;
    struct Slot {
        std::string bytes;
        std::vector<UnreachableCell> unreachable;
        bool done = false;
    };

    void Convert(BtsDatabaseWriter& writer);
    void WriteOut(const std::function<void(const UnreachableCell&)>& unreachable,
                  unsigned long long& bytes);

    BtsDatabaseWriter writers[2];
    WorkerThread helper;
    WorkerThread output;
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;

    // The network being written: batch i is cells [bounds[i], bounds[i + 1]).
    HANDLE file = INVALID_HANDLE_VALUE;
    const CellRecord* cells = nullptr;
    std::vector<size_t> bounds;
    size_t taken = 0;
    size_t written = 0;
    bool failed = false;
    Slot slots[kSlots];
};
