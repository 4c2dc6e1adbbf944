#include "studio_ui/icons/studio_icons.h"

#include "gui/picture_image.h"
#include "platform/resources.h"

#include <QPixmap>

// The program's icon table (generated at build time from studio_ui/artwork/).
extern const platform::ResourceTable kStudioIconResources;

namespace studio_icons {

QImage Image(int number) {
    QImage image = gui::ImageFromResource(kStudioIconResources, number);
    image.setDevicePixelRatio(2.0);
    return image;
}

QIcon Icon(int number) { return QIcon(QPixmap::fromImage(Image(number))); }

} // namespace studio_icons
