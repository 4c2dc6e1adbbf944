#include "library/panels/stock_pictures.h"

#include "gui/picture/picture_resources.h"

#include <map>
#include <memory>
#include <mutex>

namespace stock_pictures {

const gui::CPicture& Get(int number) {
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<gui::CPicture>> pictures;
    std::lock_guard<std::mutex> lock(mutex);
    std::unique_ptr<gui::CPicture>& picture = pictures[number];
    if (!picture) picture = std::make_unique<gui::CPicture>(gui::PictureFromResource(kStockResources, number));
    return *picture;
}

} // namespace stock_pictures
