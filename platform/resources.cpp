#include "platform/resources.h"

#include <cstring>

namespace platform {

const Resource* FindResource(const ResourceTable& table, const char* type, int number) {
    for (int i = 0; i < table.count; ++i) {
        const Resource& row = table.rows[i];
        if (row.number == number && std::strcmp(row.type, type) == 0) return &row;
    }
    return nullptr;
}

} // namespace platform
