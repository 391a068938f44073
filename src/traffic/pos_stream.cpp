#include "traffic/pos_stream.h"

namespace vdl {

void PosStream::push_back(const StreamPos& p) {
    if (hasHead_ == 0) {
        head_ = p;
        hasHead_ = 1;
        return;
    }
    rest_.push_back(p);
}

void PosStream::push_front(const StreamPos& p) {
    // A copy first: p may be the head itself.
    const StreamPos copy = p;
    if (hasHead_ != 0) rest_.push_front(head_);
    head_ = copy;
    hasHead_ = 1;
}

void PosStream::pop_front() {
    if (rest_.empty()) {
        hasHead_ = 0;
        return;
    }
    head_ = rest_.front();
    rest_.pop_front();
}

void PosStream::pop_back() {
    if (rest_.empty()) hasHead_ = 0;
    else rest_.pop_back();
}

void PosStream::clear() {
    hasHead_ = 0;
    rest_.clear();
}

void PosStream::resize(size_t n) {
    if (n == 0) {
        clear();
        return;
    }
    if (hasHead_ == 0) {
        head_ = StreamPos{};
        hasHead_ = 1;
    }
    rest_.resize(n - 1);
}

PosStream::iterator PosStream::insert(const_iterator pos, const StreamPos& p) {
    const size_t i = pos.index();
    if (i == 0) {
        push_front(p);
    } else {
        const StreamPos copy = p;  // p may be one of the points that move
        rest_.insert(rest_.begin() + static_cast<difference_type>(i - 1), copy);
    }
    return {this, i};
}

PosStream::iterator PosStream::erase(const_iterator pos) { return erase(pos, pos + 1); }

PosStream::iterator PosStream::erase(const_iterator first, const_iterator last) {
    const size_t f = first.index();
    const size_t l = last.index();
    if (f >= l) return {this, f};
    if (f > 0) {
        rest_.erase(rest_.begin() + static_cast<difference_type>(f - 1),
                    rest_.begin() + static_cast<difference_type>(l - 1));
        return {this, f};
    }
    // The first point goes: the first one kept takes its place.
    if (l >= size()) {
        clear();
        return {this, 0};
    }
    head_ = rest_[l - 1];
    rest_.erase(rest_.begin(), rest_.begin() + static_cast<difference_type>(l));
    return {this, 0};
}

}  // namespace vdl
