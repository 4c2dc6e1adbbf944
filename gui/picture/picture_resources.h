// Pictures stored inside a deliverable: each deliverable embeds its PNG files as resources of type
// "BINARY" (tb_embed_resources in CMake) and looks them up by number in its own table.
//
// Threads: any; the tables are constant.
#pragma once

#include "gui/picture/picture.h"
#include "platform/resources.h"

namespace gui {

// The resource type pictures are stored under.
inline constexpr const char* kPictureResourceType = "BINARY";

// The picture stored as resource `number` of the table. A missing resource raises
// "Picture Resource %d Not Found"; a broken one raises the PNG reader's text.
CPicture PictureFromResource(const platform::ResourceTable& table, int number);

} // namespace gui
