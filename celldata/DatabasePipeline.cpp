#include "DatabasePipeline.h"

#include <algorithm>

namespace {

// Batches of about this many cells, fewer for a small network so that both threads get some:
// a batch's bytes go to the file in one write.
const size_t kBatchCells = 32768;
const size_t kBatchesOfSmallNetwork = 8;

} // namespace

DatabasePipeline::DatabasePipeline(const std::vector<std::string>& districts)
    : writers{BtsDatabaseWriter(districts), BtsDatabaseWriter(districts)} {}

bool DatabasePipeline::Write(HANDLE target, const CellRecord* networkCells, size_t count,
                             const std::function<void(const UnreachableCell&)>& unreachable,
                             unsigned long long& bytes) {
    file = target;
    cells = networkCells;
    // Batches end where an area does.
    const size_t batchCells =
        std::max<size_t>(1, std::min(kBatchCells, count / kBatchesOfSmallNetwork));
    bounds.assign(1, 0);
    while (bounds.back() < count) {
        size_t end = std::min(count, bounds.back() + batchCells);
        while (end < count && cells[end].area == cells[end - 1].area) {
            ++end;
        }
        bounds.push_back(end);
    }
    taken = written = 0;
    failed = false;
    output.Start([&] { WriteOut(unreachable, bytes); });
    helper.Start([this] { Convert(writers[1]); });
    Convert(writers[0]);
    helper.Wait();
    output.Wait();
    return !failed;
}

void DatabasePipeline::Convert(BtsDatabaseWriter& writer) {
    const size_t batches = bounds.size() - 1;
    AcquireSRWLockExclusive(&lock);
    for (;;) {
        while (taken < batches && taken >= written + kSlots && !failed) {
            SleepConditionVariableSRW(&changed, &lock, INFINITE, 0);
        }
        if (taken == batches || failed) {
            break;
        }
        const size_t batch = taken++;
        Slot& slot = slots[batch % kSlots];
        ReleaseSRWLockExclusive(&lock);
        writer.AppendNetwork(cells + bounds[batch], bounds[batch + 1] - bounds[batch], slot.bytes,
                             slot.unreachable);
        AcquireSRWLockExclusive(&lock);
        slot.done = true;
        WakeAllConditionVariable(&changed);
    }
    ReleaseSRWLockExclusive(&lock);
}

void DatabasePipeline::WriteOut(const std::function<void(const UnreachableCell&)>& unreachable,
                                unsigned long long& bytes) {
    const size_t batches = bounds.size() - 1;
    AcquireSRWLockExclusive(&lock);
    // After a failed write the batches already taken are waited for, then nothing more.
    while (written < (failed ? taken : batches)) {
        Slot& slot = slots[written % kSlots];
        while (!slot.done) {
            SleepConditionVariableSRW(&changed, &lock, INFINITE, 0);
        }
        const bool writing = !failed;
        ReleaseSRWLockExclusive(&lock);
        bool ok = true;
        if (writing) {
            for (const UnreachableCell& cell : slot.unreachable) {
                unreachable(cell);
            }
            DWORD done = 0;
            ok = slot.bytes.empty() ||
                 (WriteFile(file, slot.bytes.data(), DWORD(slot.bytes.size()), &done, nullptr) &&
                  done == slot.bytes.size());
            bytes += slot.bytes.size();
        }
        slot.bytes.clear();
        slot.unreachable.clear();
        AcquireSRWLockExclusive(&lock);
        failed = failed || !ok;
        slot.done = false;
        ++written;
        WakeAllConditionVariable(&changed);
    }
    ReleaseSRWLockExclusive(&lock);
}
