#include "gui/list_box.h"

#include <QListWidget>

namespace gui {

void CListBox::CreateListBox(CControl* parent, int x, int y, int width, int height) {
    CreateList(parent, "ListContainer", x, y, width, height);
}

void CListBox::CreateList(CControl* parent, const char* containerName, int x, int y, int width, int height) {
    auto* list = new QListWidget;
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformItemSizes(true);
    CreateField(parent, containerName, x, y, width, height, list);
    QObject::connect(list, &QListWidget::currentRowChanged, list, [this](int) { ReportChange(); });
}

QListWidget* CListBox::List() const { return static_cast<QListWidget*>(Field()); }

int CListBox::AddEntry(const QString& text) {
    CSilence silence(*this);
    List()->addItem(text);
    return List()->count() - 1;
}

void CListBox::Clear() {
    CSilence silence(*this);
    List()->clear();
}

int CListBox::Count() const { return List()->count(); }

QString CListBox::EntryText(int index) const {
    const QListWidgetItem* item = List()->item(index);
    return item ? item->text() : QString();
}

int CListBox::Selection() const { return List()->currentRow(); }

void CListBox::SetSelection(int index) {
    CSilence silence(*this);
    if (index < 0 || index >= List()->count()) {
        List()->setCurrentRow(-1);
        List()->clearSelection();
    } else {
        List()->setCurrentRow(index);
    }
}

} // namespace gui
