// TVXVector: growable array with checked element access and checked insertion.
// TVXSortedVector: a TVXVector kept in comparator order that can refuse duplicates.
#pragma once

#include "foundation/VXAssert.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

template <typename T>
class TVXVector {
public:
    TVXVector() = default;
    TVXVector(const TVXVector&) = default;
    TVXVector(TVXVector&&) noexcept = default;
    TVXVector& operator=(const TVXVector&) = default;
    TVXVector& operator=(TVXVector&&) noexcept = default;
    ~TVXVector() = default;

    int32_t size() const { return static_cast<int32_t>(m_items.size()); }
    bool isEmpty() const { return m_items.empty(); }

    // Checked access: an index outside 0..size-1 is reported ("Invalid parameter") and yields a
    // value-initialised stand-in element.
    T& operator[](int32_t index) {
        if (!isValidIndex(index)) {
            return reportInvalidIndex(__LINE__);
        }
        return m_items[static_cast<size_t>(index)];
    }
    const T& operator[](int32_t index) const {
        if (!isValidIndex(index)) {
            return reportInvalidIndex(__LINE__);
        }
        return m_items[static_cast<size_t>(index)];
    }

    void append(const T& element) { m_items.push_back(element); }
    void append(T&& element) { m_items.push_back(std::move(element)); }

    // Inserts a copy of *element before position (position == size appends). A position outside
    // 0..size ("Index our of range") or a null element ("Invalid parameter") is reported and
    // nothing is inserted.
    bool insertAt(int32_t position, const T* element) {
        if (position < 0 || position > size()) {
            VXAssertionFailed(__LINE__, "TVXVector", "Index our of range");
            return false;
        }
        if (element == nullptr) {
            VXAssertionFailed(__LINE__, "TVXVector", "Invalid parameter");
            return false;
        }
        m_items.insert(m_items.begin() + position, *element);
        return true;
    }

    void reserve(uint32_t count) { m_items.reserve(count); }
    uint32_t capacity() const { return static_cast<uint32_t>(m_items.capacity()); }

    // Removes every element and releases the storage.
    void clear() { std::vector<T>().swap(m_items); }

    void swapElements(int32_t first, int32_t second) {
        if (isValidIndex(first) && isValidIndex(second)) {
            std::swap(m_items[static_cast<size_t>(first)], m_items[static_cast<size_t>(second)]);
        } else {
            VXAssertionFailed(__LINE__, "TVXVector", "Invalid parameter");
        }
    }

    T* begin() { return m_items.data(); }
    T* end() { return m_items.data() + m_items.size(); }
    const T* begin() const { return m_items.data(); }
    const T* end() const { return m_items.data() + m_items.size(); }

private:
    bool isValidIndex(int32_t index) const { return index >= 0 && index < size(); }

    static T& reportInvalidIndex(unsigned line) {
        VXAssertionFailed(line, "TVXVector", "Invalid parameter");
        thread_local T standIn{};
        standIn = T{};
        return standIn;
    }

    std::vector<T> m_items;
};

// Three-way comparator contract: compare(a, b) is negative when b orders before a, positive when
// a orders before b, and 0 when they are equivalent. Elements are read-only from outside, so the
// comparator order cannot be broken by a caller.
template <typename T, typename Comparator>
class TVXSortedVector : private TVXVector<T> {
    using Base = TVXVector<T>;

public:
    using Base::capacity;
    using Base::clear;
    using Base::isEmpty;
    using Base::reserve;
    using Base::size;

    const T& operator[](int32_t index) const { return Base::operator[](index); }
    const T* begin() const { return Base::begin(); }
    const T* end() const { return Base::end(); }

    explicit TVXSortedVector(bool allowDuplicates = false, Comparator comparator = Comparator())
        : m_allowDuplicates(allowDuplicates), m_comparator(std::move(comparator)) {}

    bool allowsDuplicates() const { return m_allowDuplicates; }

    // Smallest position whose element does not order before key.
    int32_t lowerBound(const T& key) const {
        int32_t first = 0;
        int32_t count = this->size();
        while (count > 0) {
            const int32_t step = count / 2;
            const int32_t middle = first + step;
            if (m_comparator((*this)[middle], key) > 0) {
                first = middle + 1;
                count -= step + 1;
            } else {
                count = step;
            }
        }
        return first;
    }

    // Inserts a copy at its lower bound; refuses (false) an element equivalent to the one found
    // there unless duplicates are allowed.
    bool insert(const T& element) {
        const int32_t position = lowerBound(element);
        if (!m_allowDuplicates && position < this->size() &&
            m_comparator((*this)[position], element) == 0) {
            return false;
        }
        return this->insertAt(position, &element);
    }

    const Comparator& comparator() const { return m_comparator; }

private:
    bool m_allowDuplicates;
    Comparator m_comparator;
};
