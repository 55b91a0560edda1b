#include "slicearena.h"

#include "longcaptureaxis.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace korvel {

namespace {

constexpr size_t hugePage = size_t(2) << 20;
constexpr size_t lineAlignment = 64;

size_t roundUp(size_t value, size_t to) {
    return (value + to - 1) / to * to;
}

} // namespace

struct SliceArena::Block {
    void* mapping = MAP_FAILED;
    size_t mappedBytes = 0;
    uchar* base = nullptr;
    size_t size = 0;
    size_t used = 0;

    explicit Block(size_t bytes) {
        // Mapped with a huge page of slack so the usable range starts on a
        // huge-page boundary; otherwise the kernel would not back its head
        // with one.
        mappedBytes = bytes + hugePage;
        mapping = mmap(nullptr, mappedBytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (mapping == MAP_FAILED)
            return;
        const auto start = reinterpret_cast<uintptr_t>(mapping);
        base = reinterpret_cast<uchar*>(roundUp(start, hugePage));
        size = bytes;
        // Advice only: where huge pages are off this changes nothing.
        madvise(base, size, MADV_HUGEPAGE);
    }
    ~Block() {
        if (mapping != MAP_FAILED)
            munmap(mapping, mappedBytes);
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    uchar* take(size_t bytes) {
        if (!base || size - used < bytes)
            return nullptr;
        uchar* out = base + used;
        used += roundUp(bytes, lineAlignment);
        return out;
    }
};

// One image's share of a block.
struct SliceArena::Slice {
    std::shared_ptr<Block> block;
    uchar* start;
    size_t bytes;

    // Slices cut away by scrolling back die long before their block, and
    // the block never reuses their range: hand its whole pages back now so a
    // back-and-forth capture does not pile up dead memory.
    static void release(void* info) {
        auto* slice = static_cast<Slice*>(info);
        if (slice->block.use_count() > 1) {
            const auto page = uintptr_t(sysconf(_SC_PAGESIZE));
            const uintptr_t from = roundUp(uintptr_t(slice->start), page);
            const uintptr_t to = (uintptr_t(slice->start) + slice->bytes) / page * page;
            if (to > from)
                madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
        }
        delete slice;
    }
};

std::optional<QImage> SliceArena::copy(const QImage& image, const QRect& rect) {
    if (image.format() != longCaptureFormat || image.isNull() || rect.isEmpty() ||
        !image.rect().contains(rect))
        return copiedCrop(image, rect);
    const size_t stride = size_t(rect.width()) * 4;
    const size_t bytes = stride * size_t(rect.height());
    uchar* memory = block_ ? block_->take(bytes) : nullptr;
    if (!memory) {
        block_ = std::make_shared<Block>(std::max(blockBytes, roundUp(bytes, hugePage)));
        memory = block_->take(bytes);
        if (!memory)
            return copiedCrop(image, rect);
    }
    for (int y = 0; y < rect.height(); ++y) {
        std::memcpy(memory + stride * size_t(y),
                    image.constScanLine(rect.y() + y) + size_t(rect.x()) * 4, stride);
    }
    // Every image keeps its block alive through its own reference.
    auto* owner = new Slice{block_, memory, bytes};
    QImage out(memory, rect.width(), rect.height(), qsizetype(stride), longCaptureFormat,
               &Slice::release, owner);
    if (out.isNull()) {
        delete owner;
        return copiedCrop(image, rect);
    }
    return out;
}

} // namespace korvel
