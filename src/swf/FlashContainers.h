#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

// A byte buffer owned through a gc_vector (plain deletion is right for a vector object, unlike an array
// made with new[]).
using FlashByteBuffer = std::vector<unsigned char>;

// A vector of heap pointers that owns what it holds: destroying it deletes every element. Copying never
// duplicates ownership: a copy starts empty. Moving hands the elements over and leaves the source empty.
// Only the operations that keep ownership sound are exposed.
template <class Pointer>
class gc_vector : private std::vector<Pointer> {
    static_assert(std::is_pointer_v<Pointer>, "gc_vector holds pointers");
    using Base = std::vector<Pointer>;

public:
    using typename Base::const_iterator;
    using typename Base::iterator;
    using typename Base::size_type;
    using typename Base::value_type;

    gc_vector() = default;
    gc_vector(const gc_vector&) noexcept : Base() {}
    gc_vector(gc_vector&& other) noexcept : Base(std::move(static_cast<Base&>(other))) { other.Base::clear(); }
    gc_vector& operator=(const gc_vector& other)
    {
        // Assignment gives up what this vector owned and, like a copy, takes nothing from the source.
        if (this != &other)
            clear();
        return *this;
    }
    gc_vector& operator=(gc_vector&& other) noexcept
    {
        if (this != &other) {
            clear();
            Base::swap(other);
        }
        return *this;
    }
    ~gc_vector() { clear(); }

    // Takes ownership of element; it is deleted even if storing it fails.
    void push_back(Pointer element)
    {
        std::unique_ptr<std::remove_pointer_t<Pointer>> guard(element);
        Base::push_back(element);
        guard.release();
    }

    // Deletes every element and empties the vector.
    void clear() noexcept
    {
        for (Pointer element : static_cast<Base&>(*this))
            delete element;
        Base::clear();
    }

    using Base::back;
    using Base::begin;
    using Base::empty;
    using Base::end;
    using Base::front;
    using Base::reserve;
    using Base::size;
    using Base::operator[];
};

// A plain pair of values, named in the manner of the rest of the writer.
template <class First, class Second>
struct flash_pair {
    flash_pair() = default;
    flash_pair(First firstValue, Second secondValue) : first(std::move(firstValue)), second(std::move(secondValue)) {}

    First first{};
    Second second{};

    friend bool operator==(const flash_pair&, const flash_pair&) = default;
};
