#include "library/panels/stock_panel_factory.h"

#include "library/panels/antialias_panel.h"
#include "library/panels/basshead_panel.h"
#include "library/panels/drumkit_panel.h"
#include "library/panels/mixer_panel.h"
#include "library/panels/spatialverb_panel.h"

#include <QApplication>
#include <QWidget>

#include <cstring>

namespace stock_panels {

WindowHandle CStockPanelFactory::CreatePanel(CMachine* machine, const char* kind, WindowHandle parent) {
    if (!machine || !kind || !QApplication::instance()) return nullptr;
    auto* parentWidget = static_cast<QWidget*>(parent);
    // Each panel owns itself: it goes with its window or when its machine closes it.
    if (std::strcmp(kind, "QX AntiAlias") == 0)
        return (new CAntiAliasPanel(static_cast<CAntiAliasFilter*>(machine), parentWidget))->Widget();
    if (std::strcmp(kind, "QX DGenR8") == 0)
        return (new CDrumKitPanel(static_cast<CDrumKit*>(machine), parentWidget))->Widget();
    if (std::strcmp(kind, "QX BassHead") == 0)
        return (new CBassHeadPanel(static_cast<CBassHead*>(machine), parentWidget))->Widget();
    if (std::strcmp(kind, "QX Mixer") == 0)
        return (new CMixerPanel(static_cast<CMixer*>(machine), parentWidget))->Widget();
    if (std::strcmp(kind, "QX SpatialVerb") == 0)
        return (new CSpatialVerbPanel(static_cast<CSpatialVerb*>(machine), parentWidget))->Widget();
    return nullptr;
}

CStockPanelFactory& StockPanelFactory() {
    static CStockPanelFactory factory;
    return factory;
}

} // namespace stock_panels
