#include "gui/picture/picture_resources.h"

#include "gui/picture/png_reader.h"
#include "platform/error.h"

namespace gui {

CPicture PictureFromResource(const platform::ResourceTable& table, int number) {
    const platform::Resource* resource = platform::FindResource(table, kPictureResourceType, number);
    if (!resource) platform::Raise("Picture Resource %d Not Found", number);
    return ReadPng(resource->data, resource->size);
}

} // namespace gui
