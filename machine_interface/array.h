// CArray: the host's growable array of pointers. Appending returns the new index; removing an
// index shifts the rest down. It does not own what it points to unless its owner says so.
#pragma once

#include "platform/error.h"

#include <cstdint>
#include <vector>

template <typename T>
class CArray {
public:
    int32_t Add(T* item) {
        m_items.push_back(item);
        return static_cast<int32_t>(m_items.size()) - 1;
    }
    void Insert(int32_t index, T* item) { m_items.insert(m_items.begin() + index, item); }
    // Raises "CArray::RemoveItem - Index Out Of Bounds (%i)" for an index outside 0..count-1.
    T* RemoveItem(int32_t index) {
        if (index < 0 || index >= Count()) platform::Raise("CArray::RemoveItem - Index Out Of Bounds (%i)", index);
        T* item = m_items[static_cast<size_t>(index)];
        m_items.erase(m_items.begin() + index);
        return item;
    }
    // Index of the item, or -1.
    int32_t Find(const T* item) const {
        for (size_t i = 0; i < m_items.size(); ++i)
            if (m_items[i] == item) return static_cast<int32_t>(i);
        return -1;
    }
    T* operator[](int32_t index) const { return m_items[static_cast<size_t>(index)]; }
    int32_t Count() const { return static_cast<int32_t>(m_items.size()); }
    void Clear() { m_items.clear(); }
    void Reserve(int32_t count) { m_items.reserve(static_cast<size_t>(count)); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<T*> m_items;
};
