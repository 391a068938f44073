#include "airports/stand_xml.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "foundation/files.h"
#include "foundation/xml.h"

namespace vdl {

namespace {

// Blocks handed out in order and all taken back at once.
class KeptMemory {
public:
    ~KeptMemory() { release(); }

    void* allocate(size_t n) {
        n = (n + alignment - 1) / alignment * alignment;
        for (; current_ < chunks_.size(); ++current_, used_ = 0) {
            if (chunks_[current_].size - used_ >= n) return take(n);
        }
        // Each new chunk at least as large as all before it: a load needs few of them.
        const size_t size = std::max({n, minChunk, total_});
        void* base = std::malloc(size);
        if (base == nullptr) return nullptr;
        chunks_.push_back({static_cast<std::byte*>(base), size});
        total_ += size;
        current_ = chunks_.size() - 1;
        used_ = 0;
        return take(n);
    }

    bool owns(const void* p) const {
        const auto* b = static_cast<const std::byte*>(p);
        return std::any_of(chunks_.begin(), chunks_.end(),
                           [b](const Chunk& c) { return b >= c.base && b < c.base + c.size; });
    }

    // Everything handed out is free again.
    void rewind() {
        if (total_ > standXmlMemoryKept) release();
        current_ = 0;
        used_ = 0;
    }

    void release() {
        for (const Chunk& c : chunks_) std::free(c.base);
        chunks_.clear();
        total_ = 0;
        current_ = 0;
        used_ = 0;
    }

    size_t size() const { return total_; }

private:
    struct Chunk {
        std::byte* base;
        size_t size;
    };
    static constexpr size_t alignment = alignof(std::max_align_t);
    static constexpr size_t minChunk = size_t{1} << 20;

    void* take(size_t n) {
        void* p = chunks_[current_].base + used_;
        used_ += n;
        return p;
    }

    std::vector<Chunk> chunks_;
    size_t current_ = 0;
    size_t used_ = 0;
    size_t total_ = 0;
};

// The memory and who holds it. While a document holds it, its thread alone uses `memory`.
struct KeptState {
    KeptMemory memory;
    bool held = false;
    bool releaseLater = false;
    size_t size = 0;  // of memory when last not held
};
// The kept file buffer and whether a StandFileBytes holds it.
struct KeptBytes {
    std::unique_ptr<char[]> buffer;
    size_t capacity = 0;
    bool held = false;
    bool releaseLater = false;
};
// Option lists' room kept from the stands of the last load, taken from `next` on.
struct KeptOptions {
    std::vector<std::vector<ParkPosOption>> lists;
    size_t next = 0;
    size_t bytes = 0;
};
std::mutex standXmlMemoryMutex;
KeptState keptState;      // guarded by standXmlMemoryMutex
KeptBytes keptBytes;      // guarded by standXmlMemoryMutex
KeptOptions keptOptions;  // guarded by standXmlMemoryMutex

// Set on the thread whose document holds the kept memory; parsing: while its parse runs.
thread_local KeptMemory* lt_held = nullptr;
thread_local bool lt_parsing = false;

// pugixml's default functions are malloc and free: memory from before these were set is freed
// correctly, and so is any other thread's.
void* lf_allocate(size_t n) { return lt_held != nullptr && lt_parsing ? lt_held->allocate(n) : std::malloc(n); }

void lf_deallocate(void* p) {
    if (lt_held != nullptr && lt_held->owns(p)) return;  // taken back all at once
    std::free(p);
}

// Set before main, while no other thread can be inside pugixml.
const bool hooksSet = [] {
    pugi::set_memory_management_functions(lf_allocate, lf_deallocate);
    return true;
}();

}  // namespace

StandXmlDocument::Claim::Claim() {
    (void)hooksSet;
    std::lock_guard lock(standXmlMemoryMutex);
    if (keptState.held) return;
    keptState.held = held_ = true;
    lt_held = &keptState.memory;
}

StandXmlDocument::Claim::~Claim() {
    if (!held_) return;
    lt_held = nullptr;
    std::lock_guard lock(standXmlMemoryMutex);
    if (keptState.releaseLater) keptState.memory.release();
    keptState.memory.rewind();
    keptState.size = keptState.memory.size();
    keptState.held = keptState.releaseLater = false;
}

StandXmlDocument::StandXmlDocument() = default;

pugi::xml_parse_result StandXmlDocument::loadFile(const std::filesystem::path& file) {
    lt_parsing = claim_.held();
    const pugi::xml_parse_result result = gf_loadXmlFile(doc_, file);
    lt_parsing = false;
    return result;
}

StandFileBytes::StandFileBytes() {
    std::lock_guard lock(standXmlMemoryMutex);
    if (keptBytes.held) return;
    keptBytes.held = kept_ = true;
    buffer_ = std::move(keptBytes.buffer);
    capacity_ = std::exchange(keptBytes.capacity, 0);
}

StandFileBytes::~StandFileBytes() {
    if (!kept_) return;
    std::lock_guard lock(standXmlMemoryMutex);
    if (!keptBytes.releaseLater && capacity_ <= standXmlMemoryKept) {
        keptBytes.buffer = std::move(buffer_);
        keptBytes.capacity = capacity_;
    }
    keptBytes.held = keptBytes.releaseLater = false;
}

bool StandFileBytes::read(const std::filesystem::path& file) {
    size_ = 0;
    if (!gf_isRegularFile(file)) return false;
    std::ifstream in(file, std::ios::binary);
    if (!in.seekg(0, std::ios::end)) return false;
    const std::streamoff end = in.tellg();
    if (end < 0 || !in.seekg(0)) return false;
    // Larger ones (and what a directory claims) are left to pugixml's own answer.
    if (static_cast<uint64_t>(end) >= maxStandFileBytes) return false;
    const auto size = static_cast<size_t>(end);
    if (size + 1 > capacity_) {
        // Not value-initialised: the read fills it.
        buffer_.reset(new (std::nothrow) char[size + 1]);
        capacity_ = buffer_ ? size + 1 : 0;
        if (!buffer_) return false;
    }
    if (!in.read(buffer_.get(), static_cast<std::streamsize>(size))) return false;
    buffer_[size] = '\0';
    size_ = size;
    return true;
}

void gf_keepOptionStorage(std::vector<ParkPos>& stands) {
    {
        std::lock_guard lock(standXmlMemoryMutex);
        KeptOptions& kept = keptOptions;
        kept.lists.erase(kept.lists.begin(), kept.lists.begin() + static_cast<std::ptrdiff_t>(kept.next));
        kept.next = 0;
        for (ParkPos& s : stands) {
            const size_t bytes = s.options.capacity() * sizeof(ParkPosOption);
            if (bytes == 0 || kept.bytes + bytes > standXmlMemoryKept) continue;
            s.options.clear();
            kept.lists.push_back(std::move(s.options));
            kept.bytes += bytes;
        }
    }
    stands.clear();
}

std::vector<ParkPosOption> gf_optionStorage(size_t n) {
    std::vector<ParkPosOption> room;
    if (n == 0) return room;
    {
        std::lock_guard lock(standXmlMemoryMutex);
        KeptOptions& kept = keptOptions;
        if (kept.next < kept.lists.size()) {
            room = std::move(kept.lists[kept.next++]);
            kept.bytes -= room.capacity() * sizeof(ParkPosOption);
            if (kept.next == kept.lists.size()) {
                kept.lists.clear();
                kept.next = 0;
            }
        }
    }
    room.reserve(n);
    return room;
}

size_t gf_standXmlMemorySize() {
    std::lock_guard lock(standXmlMemoryMutex);
    return keptState.size + keptBytes.capacity + keptOptions.bytes;
}

void gf_releaseStandXmlMemory() {
    std::lock_guard lock(standXmlMemoryMutex);
    keptOptions = {};
    if (keptBytes.held) {
        keptBytes.releaseLater = true;
    } else {
        keptBytes.buffer.reset();
        keptBytes.capacity = 0;
    }
    if (keptState.held) {
        keptState.releaseLater = true;
        return;
    }
    keptState.memory.release();
    keptState.size = 0;
}

}  // namespace vdl
