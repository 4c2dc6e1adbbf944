#include "gui/flat_scroll_style.h"

#include "gui/color_manager.h"

#include <QPainter>
#include <QPalette>
#include <QPolygon>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOptionSlider>

namespace gui {
namespace {

class CFlatScrollBarStyle : public QProxyStyle {
public:
    CFlatScrollBarStyle() : QProxyStyle(QStyleFactory::create("Fusion")) {}

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override {
        const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
        if (control != CC_ScrollBar || !bar) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        const QPalette& palette = bar->palette;
        const bool enabled = bar->state & State_Enabled;
        const bool vertical = bar->orientation == Qt::Vertical;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->fillRect(bar->rect, palette.color(QPalette::Base));

        auto part = [&](SubControl sub) { return subControlRect(CC_ScrollBar, bar, sub, widget); };
        auto shade = [&](SubControl sub) {
            QColor color = palette.color(QPalette::Button);
            if (!enabled) return color.darker(125);
            if ((bar->activeSubControls & sub) && (bar->state & State_Sunken)) return color.darker(115);
            if ((bar->activeSubControls & sub) && (bar->state & State_MouseOver)) return color.lighter(112);
            return color;
        };

        // The thumb, a pixel in from the trough's sides.
        const QRect thumb = part(SC_ScrollBarSlider);
        if (thumb.isValid() && bar->maximum > bar->minimum)
            painter->fillRect(vertical ? thumb.adjusted(2, 0, -2, 0) : thumb.adjusted(0, 2, 0, -2),
                              shade(SC_ScrollBarSlider));

        // The arrow buttons, each with a small solid triangle pointing its way.
        const QColor arrow = enabled ? palette.color(QPalette::ButtonText) : palette.color(QPalette::Base).lighter(140);
        for (const SubControl sub : {SC_ScrollBarSubLine, SC_ScrollBarAddLine}) {
            const QRect button = part(sub);
            if (!button.isValid()) continue;
            painter->fillRect(button, shade(sub));
            const QPoint c = button.center();
            const bool forward = sub == SC_ScrollBarAddLine;
            const int s = 3;
            QPolygon triangle;
            if (vertical)
                triangle << QPoint(c.x() - s, forward ? c.y() - 1 : c.y() + 1) << QPoint(c.x() + s, forward ? c.y() - 1 : c.y() + 1)
                         << QPoint(c.x(), forward ? c.y() + s - 1 : c.y() - s + 1);
            else
                triangle << QPoint(forward ? c.x() - 1 : c.x() + 1, c.y() - s) << QPoint(forward ? c.x() - 1 : c.x() + 1, c.y() + s)
                         << QPoint(forward ? c.x() + s - 1 : c.x() - s + 1, c.y());
            painter->setPen(Qt::NoPen);
            painter->setBrush(arrow);
            painter->drawPolygon(triangle);
        }
        painter->restore();
    }
};

} // namespace

void UseFlatLook(QScrollBar* bar, const CColorManager& colors) {
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Button, colors.Color(kSlotBevelLight));
    palette.setColor(QPalette::Window, colors.Color(kSlotDisabledFace));
    palette.setColor(QPalette::Base, colors.Color(kSlotDisabledFace));
    palette.setColor(QPalette::ButtonText, colors.Color(kSlotButtonText));
    palette.setColor(QPalette::WindowText, colors.Color(kSlotButtonText));
    bar->setPalette(palette);
    // Lives as long as the program: every bar shares it, and a style must outlive its widgets.
    static QStyle* const style = new CFlatScrollBarStyle;
    bar->setStyle(style);
}

} // namespace gui
