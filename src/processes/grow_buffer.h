#pragma once

#include <cstdlib>

// Room for `needed` items in `buffer` of `capacity`, with some to spare so
// that a process or two more does not mean another allocation. Answers false
// (the buffer as it was) when the memory is not there.
template <typename Item, typename Count>
bool makeRoom(Item*& buffer, Count& capacity, Count needed) {
    if (needed <= capacity && buffer != nullptr) return true;
    const Count grown = needed + needed / 4 + 16;
    void* moved = std::realloc(buffer, static_cast<std::size_t>(grown) * sizeof(Item));
    if (moved == nullptr) return false;
    buffer = static_cast<Item*>(moved);
    capacity = grown;
    return true;
}
