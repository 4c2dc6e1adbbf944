// The field controls around Qt's own widgets: their containers and colours, and which changes
// reach the parent (the user's) and which do not (the program's own).
#include "gui/color_manager.h"
#include "gui/combo_box.h"
#include "gui/edit_box.h"
#include "gui/icon_list.h"
#include "gui/list_box.h"
#include "gui/tab_control.h"
#include "gui/up_down.h"
#include "tests/gui/controls_test_support.h"
#include "tests/gui/gui_test_support.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using gui_test::Rgb;

const QRgb kFieldBackground = Rgb(32, 32, 32);
const QRgb kFieldText = Rgb(160, 160, 160);

class FieldTest : public testing::Test {
protected:
    void SetUp() override { window.Make(320, 240); }
    gui_test::CRecorder window;
};

TEST_F(FieldTest, EditBoxReportsTypingButNotTextSetByTheProgram) {
    gui::CEditBox edit;
    edit.CreateEditBox(&window, 10, 10, 160, 22);
    edit.Show();
    EXPECT_EQ(edit.Widget()->objectName(), "EditContainer");
    QLineEdit* line = edit.LineEdit();
    EXPECT_EQ(line->parentWidget(), edit.Widget());
    EXPECT_EQ(line->geometry(), QRect(0, 0, 160, 22));
    EXPECT_EQ(line->palette().color(QPalette::Base).rgb() & 0xFFFFFF, kFieldBackground);
    EXPECT_EQ(line->palette().color(QPalette::Text).rgb() & 0xFFFFFF, kFieldText);
    // The empty field's inside is drawn in the field background.
    EXPECT_EQ(gui_test::Probe(edit.Widget(), 150, 11), kFieldBackground);

    edit.SetText("Bass Line");
    EXPECT_TRUE(window.reports.empty());
    line->setFocus();
    line->end(false);
    QTest::keyClicks(line, " 2");
    EXPECT_EQ(edit.Text(), "Bass Line 2");
    EXPECT_EQ(window.Count("changed EditContainer"), 2);
    // Text in the field colour, on the field background.
    const QImage image = edit.Widget()->grab().toImage();
    EXPECT_FALSE(gui_test::PixelsOf(image, kFieldText).isEmpty());

    // The field follows the container's size.
    edit.MoveResize(10, 10, 200, 26);
    EXPECT_EQ(line->geometry(), QRect(0, 0, 200, 26));
}

TEST_F(FieldTest, ComboBoxReportsOnlyTheUsersChangeOfSelection) {
    gui::CComboBox combo;
    combo.CreateComboBox(&window, 10, 10, 140, 22);
    combo.Show();
    EXPECT_EQ(combo.Widget()->objectName(), "ComboContainer");
    QComboBox* box = combo.Combo();
    EXPECT_EQ(box->font().family(), "Verdana");
    EXPECT_EQ(box->font().pointSize(), 9);
    EXPECT_EQ(box->palette().color(QPalette::Base).rgb() & 0xFFFFFF, kFieldBackground);
    EXPECT_EQ(box->palette().color(QPalette::Text).rgb() & 0xFFFFFF, kFieldText);
    for (const char* wave : {"Sine", "Saw", "Square", "Noise"}) combo.AddEntry(wave);
    EXPECT_EQ(combo.Count(), 4);
    EXPECT_EQ(combo.Selection(), 0); // the first entry shows
    combo.SetSelection(2);
    EXPECT_EQ(combo.Selection(), 2);
    combo.SetSelection(9); // out of range: nothing selected
    EXPECT_EQ(combo.Selection(), -1);
    combo.SetSelection(2);
    EXPECT_TRUE(window.reports.empty());

    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(combo.Selection(), 3);
    EXPECT_EQ(window.reports, std::vector<std::string>{"combo ComboContainer"});
    EXPECT_EQ(window.last, &combo);
    // Past the last entry nothing changes and nothing is reported.
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(window.reports.size(), 1u);
    // The user choosing the entry already shown (from the drop-down list) is not a change.
    emit box->activated(3);
    EXPECT_EQ(window.reports.size(), 1u);
    emit box->activated(0);
    EXPECT_EQ(window.reports.size(), 2u);
    // After the program moves the selection, the user's return to the old entry is a change.
    combo.SetSelection(1);
    emit box->activated(0);
    EXPECT_EQ(window.reports.size(), 3u);
    combo.Clear();
    EXPECT_EQ(combo.Count(), 0);
    EXPECT_EQ(window.reports.size(), 3u);
}

TEST_F(FieldTest, ListBoxReportsTheUsersSelection) {
    gui::CListBox list;
    list.CreateListBox(&window, 10, 10, 150, 120);
    list.Show();
    EXPECT_EQ(list.Widget()->objectName(), "ListContainer");
    QListWidget* widget = list.List();
    EXPECT_EQ(widget->palette().color(QPalette::Base).rgb() & 0xFFFFFF, kFieldBackground);
    for (const char* name : {"Stomp", "QuadDelay", "BassHead"}) list.AddEntry(name);
    EXPECT_EQ(list.Selection(), -1);
    list.SetSelection(1);
    EXPECT_EQ(list.Selection(), 1);
    list.SetSelection(7);
    EXPECT_EQ(list.Selection(), -1);
    EXPECT_TRUE(window.reports.empty());
    EXPECT_EQ(list.EntryText(2), "BassHead");
    EXPECT_EQ(list.EntryText(3), "");

    // An empty list area is the field background.
    EXPECT_EQ(gui_test::Probe(list.Widget(), 140, 110), kFieldBackground);
    QTest::mouseClick(widget->viewport(), Qt::LeftButton, {}, widget->visualItemRect(widget->item(2)).center());
    EXPECT_EQ(list.Selection(), 2);
    EXPECT_EQ(window.reports, std::vector<std::string>{"changed ListContainer"});
    QTest::keyClick(widget, Qt::Key_Up);
    EXPECT_EQ(list.Selection(), 1);
    EXPECT_EQ(window.reports.size(), 2u);
    // Clicking the selected entry again changes nothing.
    QTest::mouseClick(widget->viewport(), Qt::LeftButton, {}, widget->visualItemRect(widget->item(1)).center());
    EXPECT_EQ(window.reports.size(), 2u);
}

TEST_F(FieldTest, UpDownClampsAndReportsCommittedValuesOnly) {
    gui::CUpDown tempo;
    tempo.CreateUpDown(&window, 10, 10, 52, 18, 1.0, 1000.0, 1.0, 120.0);
    tempo.Show();
    EXPECT_EQ(tempo.Widget()->objectName(), "UpDownContainer");
    EXPECT_EQ(tempo.Value(), 120.0);
    EXPECT_EQ(tempo.Minimum(), 1.0);
    EXPECT_EQ(tempo.Maximum(), 1000.0);
    EXPECT_EQ(tempo.Step(), 1.0);
    tempo.SetValue(5000);
    EXPECT_EQ(tempo.Value(), 1000.0);
    tempo.SetValue(0);
    EXPECT_EQ(tempo.Value(), 1.0);
    EXPECT_TRUE(window.reports.empty());

    QDoubleSpinBox* spin = tempo.SpinBox();
    spin->setFocus();
    QTest::keyClick(spin, Qt::Key_Down); // already at the minimum
    EXPECT_EQ(tempo.Value(), 1.0);
    EXPECT_TRUE(window.reports.empty());
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(tempo.Value(), 2.0);
    EXPECT_EQ(window.reports, std::vector<std::string>{"changed UpDownContainer"});

    // Typing reports once, when the value is committed; digits beyond the maximum are refused.
    spin->selectAll();
    QTest::keyClicks(spin, "1400");
    EXPECT_EQ(window.reports.size(), 1u);
    QTest::keyClick(spin, Qt::Key_Return);
    EXPECT_EQ(tempo.Value(), 140.0);
    EXPECT_EQ(window.reports.size(), 2u);

    // A narrower range pulls the value in without a report; an upside-down one collapses.
    tempo.SetRange(1, 100);
    EXPECT_EQ(tempo.Value(), 100.0);
    tempo.SetRange(50, 10);
    EXPECT_EQ(tempo.Minimum(), 10.0);
    EXPECT_EQ(tempo.Value(), 10.0);
    EXPECT_EQ(window.reports.size(), 2u);
    tempo.SetToolTip("Beats Per Minute");
    EXPECT_EQ(tempo.Widget()->toolTip(), "Beats Per Minute");
}

TEST_F(FieldTest, TabControlReportsThePageTheUserPicks) {
    gui::CTabControl tabs;
    tabs.CreateTabControl(&window, 0, 0, 300, 26);
    tabs.Show();
    for (const char* page : {"Machines", "Patterns", "Song"}) tabs.AddPage(page);
    EXPECT_EQ(tabs.PageCount(), 3);
    EXPECT_EQ(tabs.Page(), 0);
    tabs.SetPage(1);
    EXPECT_EQ(tabs.Page(), 1);
    EXPECT_TRUE(window.reports.empty());
    QTabBar* bar = tabs.TabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
    EXPECT_EQ(tabs.Page(), 2);
    EXPECT_EQ(window.reports, std::vector<std::string>{"changed TabContainer"});
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
    EXPECT_EQ(window.reports.size(), 1u);
    EXPECT_EQ(tabs.PageCaption(0), "Machines");
}

TEST_F(FieldTest, IconListShowsCaptionedIconsAndReportsTheUsersSelection) {
    gui::CIconList icons;
    icons.CreateIconList(&window, 10, 10, 300, 200, 32);
    icons.Show();
    EXPECT_EQ(icons.Widget()->objectName(), "IconListContainer");
    QListWidget* widget = icons.List();
    EXPECT_EQ(widget->viewMode(), QListView::IconMode);
    EXPECT_EQ(widget->iconSize(), QSize(32, 32));
    QPixmap picture(32, 32);
    picture.fill(QColor(200, 40, 40));
    icons.AddIcon(QIcon(picture), "Generators");
    icons.AddIcon(QIcon(picture), "Effects");
    EXPECT_EQ(icons.Count(), 2);
    icons.SetSelection(0);
    EXPECT_TRUE(window.reports.empty());
    const QRect second = widget->visualItemRect(widget->item(1));
    EXPECT_GT(second.left(), widget->visualItemRect(widget->item(0)).right()); // side by side, not a column
    QTest::mouseClick(widget->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(icons.Selection(), 1);
    EXPECT_EQ(window.reports, std::vector<std::string>{"changed IconListContainer"});
}

TEST_F(FieldTest, FieldsFollowAPaletteChange) {
    gui::CColorManager colors(&window.Colors());
    gui::CEditBox edit;
    edit.SetColors(&colors);
    edit.CreateEditBox(&window, 10, 10, 160, 22);
    gui::CComboBox combo;
    combo.SetColors(&colors);
    combo.CreateComboBox(&window, 10, 40, 160, 22);
    gui::CTabControl tabs;
    tabs.SetColors(&colors);
    tabs.CreateTabControl(&window, 10, 70, 160, 24);
    edit.Show();
    colors.SetColor(gui::kSlotFieldBackground, QColor(90, 20, 20));
    colors.SetColor(gui::kSlotFace, QColor(20, 20, 90));
    for (gui::CFieldControl* field : std::initializer_list<gui::CFieldControl*>{&edit, &combo, &tabs})
        field->ApplyColors();
    EXPECT_EQ(gui_test::Probe(edit.Widget(), 150, 11), Rgb(90, 20, 20));
    EXPECT_EQ(combo.Combo()->view()->palette().color(QPalette::Base).rgb() & 0xFFFFFF, Rgb(90, 20, 20));
    EXPECT_EQ(tabs.TabBar()->palette().color(QPalette::Window).rgb() & 0xFFFFFF, Rgb(20, 20, 90));
    EXPECT_EQ(tabs.TabBar()->palette().color(QPalette::WindowText).rgb() & 0xFFFFFF, Rgb(224, 224, 224));
}

TEST_F(FieldTest, DisabledFieldsTakeNoInput) {
    gui::CEditBox edit;
    edit.CreateEditBox(&window, 10, 10, 160, 22);
    edit.Show();
    edit.SetEnabled(false);
    EXPECT_FALSE(edit.IsEnabled());
    QTest::keyClicks(edit.LineEdit(), "abc");
    EXPECT_EQ(edit.Text(), "");
    EXPECT_TRUE(window.reports.empty());
    edit.SetEnabled(true);
    EXPECT_TRUE(edit.LineEdit()->isEnabled());
}

} // namespace
