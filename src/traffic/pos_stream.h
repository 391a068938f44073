// The position stream of a live aircraft: a double-ended queue of points whose first point is held
// inside the record itself. Every traffic step reads the first point's due time and stop flag of
// every aircraft; inline they come with the record's other hot fields instead of from a block of
// the queue elsewhere in the heap.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <iterator>
#include <type_traits>

#include "feed/traffic_record.h"

namespace vdl {

// The std::deque interface the traffic manager uses. References follow the stored values, not
// the elements: after push_front or pop_front a reference to the first point sees the new first
// point, and one to the second point (then first) is invalid.
class PosStream {
    template <bool Const>
    class Iter {
        using Owner = std::conditional_t<Const, const PosStream, PosStream>;

    public:
        using iterator_category = std::random_access_iterator_tag;
        using iterator_concept = std::random_access_iterator_tag;
        using value_type = StreamPos;
        using difference_type = std::ptrdiff_t;
        using reference = std::conditional_t<Const, const StreamPos&, StreamPos&>;
        using pointer = std::conditional_t<Const, const StreamPos*, StreamPos*>;

        Iter() = default;
        Iter(Owner* s, size_t i) : s_(s), i_(i) {}
        // Mutable to const.
        template <bool C = Const, typename = std::enable_if_t<C>>
        Iter(const Iter<false>& o) : s_(o.s_), i_(o.i_) {}

        reference operator*() const { return (*s_)[i_]; }
        pointer operator->() const { return &(*s_)[i_]; }
        reference operator[](difference_type n) const { return (*s_)[static_cast<size_t>(to(n))]; }
        Iter& operator++() { ++i_; return *this; }
        Iter operator++(int) { Iter t = *this; ++i_; return t; }
        Iter& operator--() { --i_; return *this; }
        Iter operator--(int) { Iter t = *this; --i_; return t; }
        Iter& operator+=(difference_type n) { i_ = static_cast<size_t>(to(n)); return *this; }
        Iter& operator-=(difference_type n) { i_ = static_cast<size_t>(to(-n)); return *this; }
        friend Iter operator+(Iter a, difference_type n) { return a += n; }
        friend Iter operator+(difference_type n, Iter a) { return a += n; }
        friend Iter operator-(Iter a, difference_type n) { return a -= n; }
        friend difference_type operator-(const Iter& a, const Iter& b) {
            return static_cast<difference_type>(a.i_) - static_cast<difference_type>(b.i_);
        }
        friend bool operator==(const Iter& a, const Iter& b) { return a.i_ == b.i_; }
        friend std::strong_ordering operator<=>(const Iter& a, const Iter& b) { return a.i_ <=> b.i_; }
        size_t index() const { return i_; }

    private:
        friend class Iter<true>;
        difference_type to(difference_type n) const { return static_cast<difference_type>(i_) + n; }

        Owner* s_ = nullptr;
        size_t i_ = 0;
    };

public:
    using value_type = StreamPos;
    using size_type = size_t;
    using difference_type = std::ptrdiff_t;
    using reference = StreamPos&;
    using const_reference = const StreamPos&;
    using iterator = Iter<false>;
    using const_iterator = Iter<true>;

    bool empty() const { return hasHead_ == 0; }
    size_t size() const { return hasHead_ != 0 ? 1 + rest_.size() : 0; }

    // Like std::deque, front, back and operator[] need a point there.
    StreamPos& front() { return head_; }
    const StreamPos& front() const { return head_; }
    StreamPos& back() { return rest_.empty() ? head_ : rest_.back(); }
    const StreamPos& back() const { return rest_.empty() ? head_ : rest_.back(); }
    StreamPos& operator[](size_t i) { return i == 0 ? head_ : rest_[i - 1]; }
    const StreamPos& operator[](size_t i) const { return i == 0 ? head_ : rest_[i - 1]; }

    iterator begin() { return {this, 0}; }
    iterator end() { return {this, size()}; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }
    const_iterator cbegin() const { return begin(); }
    const_iterator cend() const { return end(); }

    void push_back(const StreamPos& p);
    void push_front(const StreamPos& p);
    void pop_front();
    void pop_back();
    void clear();
    // New points are value-initialised, as std::deque makes them.
    void resize(size_t n);
    iterator insert(const_iterator pos, const StreamPos& p);
    iterator erase(const_iterator pos);
    iterator erase(const_iterator first, const_iterator last);

    template <typename It>
    void assign(It first, It last) {
        clear();
        for (; first != last; ++first) push_back(*first);
    }

private:
    // Flag first and the point's due time and stop flag right after it (StreamPos starts with
    // them): the step's reads of a stream lie in the first 16 bytes.
    uint8_t hasHead_ = 0;
    StreamPos head_{};
    std::deque<StreamPos> rest_;  // the points after the first
};

}  // namespace vdl
