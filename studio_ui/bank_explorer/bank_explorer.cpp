#include "studio_ui/bank_explorer/bank_explorer.h"

#include "gui/dialog_service.h"
#include "gui/label.h"
#include "gui/list_box.h"
#include "gui/size_bar.h"
#include "gui/tool_bar.h"
#include "host_machines/soundfont/soundfont_loader.h"
#include "machine_interface/bank_server.h"
#include "studio_ui/icons/studio_icons.h"

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace bank_explorer {

namespace {

// An open folder holding a note: "load a bank of sounds" (drawn by the artwork generator).
QImage LoadBankIcon() { return studio_icons::Image(studio_icons::kLoadBank); }

double Clamped(double fraction) {
    if (std::isnan(fraction)) return kMinFraction;
    return std::clamp(fraction, kMinFraction, kMaxFraction);
}

// The share of room a bar leaves before it, from the room's start. A bar at either limit holds the
// limit itself, not the pixel's rounding of it.
double FractionAt(const gui::CSizeBar& bar, int start, int room) {
    if (bar.Position() <= bar.Minimum() || room <= 0) return kMinFraction;
    if (bar.Position() >= bar.Maximum()) return kMaxFraction;
    return Clamped(static_cast<double>(bar.Position() - start) / room);
}

int Share(double fraction, int room) { return static_cast<int>(std::lround(fraction * std::max(room, 0))); }

} // namespace

PaneLayout LayoutPanes(int width, int height, double bankListFraction, double informationFraction,
                       double presetListFraction) {
    PaneLayout layout;
    const int left = kMargin, right = std::max(width - kMargin, left);
    const int top = kToolBarHeight + kMargin, bottom = std::max(height - kMargin, top);

    // The bank list and the right side share the width less one bar.
    const int widthRoom = right - left - kBarThickness;
    layout.bankBarX = left + Share(Clamped(bankListFraction), widthRoom);
    layout.bankBarMin = left + Share(kMinFraction, widthRoom);
    layout.bankBarMax = left + Share(kMaxFraction, widthRoom);
    layout.banks = {left, top, layout.bankBarX - left, bottom - top};

    const int sideLeft = layout.bankBarX + kBarThickness;
    const int heightRoom = bottom - top - kBarThickness;
    layout.informationBarY = top + Share(Clamped(informationFraction), heightRoom);
    layout.informationBarMin = top + Share(kMinFraction, heightRoom);
    layout.informationBarMax = top + Share(kMaxFraction, heightRoom);
    layout.information = {sideLeft, top, std::max(right - sideLeft, 0), layout.informationBarY - top};

    const int lowerTop = layout.informationBarY + kBarThickness;
    const int sideRoom = right - sideLeft - kBarThickness;
    layout.presetBarX = sideLeft + Share(Clamped(presetListFraction), sideRoom);
    layout.presetBarMin = sideLeft + Share(kMinFraction, sideRoom);
    layout.presetBarMax = sideLeft + Share(kMaxFraction, sideRoom);
    layout.presets = {sideLeft, lowerTop, layout.presetBarX - sideLeft, std::max(bottom - lowerTop, 0)};
    const int samplesLeft = layout.presetBarX + kBarThickness;
    layout.samples = {samplesLeft, lowerTop, std::max(right - samplesLeft, 0), std::max(bottom - lowerTop, 0)};
    return layout;
}

CBankExplorer::CBankExplorer(CVeskHost* host) : CBankClient(host) {}

CBankExplorer::~CBankExplorer() {
    // Before the lists go: no notification may reach a half-destroyed view.
    DisconnectBankServer();
    // The children's widgets belong to ours; they go first, while it still exists.
    m_children.clear();
}

void CBankExplorer::Build(gui::CControl* parent, int x, int y, int width, int height) {
    Create(parent, "BankExplorer", x, y, width, height, false);
    // Set before the children are made: they inherit it.
    SetFont(gui::MakeFont("Verdana", 10, false));

    auto make = [this](auto* control) {
        m_children.emplace_back(control);
        return control;
    };
    m_toolBar = make(new gui::CToolBar);
    m_toolBar->Create(this, 0, 0, width, kToolBarHeight);
    m_toolBar->AddButton(kLoadBankCommand, LoadBankIcon(), kLoadBankTitle);

    auto caption = [&](const char* text) {
        auto* label = make(new gui::CLabel);
        label->CreateLabel(this, text, 0, 0, 10, kCaptionHeight);
        return label;
    };
    auto list = [&] {
        auto* box = make(new gui::CListBox);
        box->CreateListBox(this, 0, 0, 10, 10);
        return box;
    };
    m_banksCaption = caption("Banks");
    m_banks = list();
    m_informationCaption = caption("Bank Information");
    m_information = list();
    m_presetsCaption = caption("Bank Presets");
    m_presets = list();
    m_samplesCaption = caption("Bank Samples");
    m_samples = list();

    auto bar = [&](gui::SizeBarDirection direction) {
        auto* sizeBar = make(new gui::CSizeBar);
        sizeBar->CreateSizeBar(this, direction, 0, 0, 10, kBarThickness);
        return sizeBar;
    };
    m_bankBar = bar(gui::SizeBarDirection::kLeftRight);
    m_informationBar = bar(gui::SizeBarDirection::kUpDown);
    m_presetBar = bar(gui::SizeBarDirection::kLeftRight);

    Layout();
    for (auto& child : m_children) child->Show();

    // Connect and list what the server already holds under one lock, so no bank is missed or
    // listed twice.
    if (HasBankServer()) {
        CMutexLock lock(*m_bankServer);
        ConnectBankServer();
        for (int32_t bank = 0; bank < m_bankServer->BankCount(); ++bank)
            m_banks->AddEntry(QString::fromLatin1(ReadBankName(bank).c_str()));
    }
}

void CBankExplorer::Layout() {
    if (!m_toolBar) return;
    const PaneLayout layout =
        LayoutPanes(Width(), Height(), m_bankListFraction, m_informationFraction, m_presetListFraction);
    m_toolBar->MoveResize(0, 0, Width(), kToolBarHeight);
    auto place = [](gui::CLabel* label, gui::CListBox* box, const PaneRect& pane) {
        label->MoveResize(pane.x, pane.y, std::max(pane.width, 0), kCaptionHeight);
        box->MoveResize(pane.x, pane.y + kCaptionHeight, std::max(pane.width, 0),
                        std::max(pane.height - kCaptionHeight, 0));
    };
    place(m_banksCaption, m_banks, layout.banks);
    place(m_informationCaption, m_information, layout.information);
    place(m_presetsCaption, m_presets, layout.presets);
    place(m_samplesCaption, m_samples, layout.samples);

    const int contentHeight = layout.banks.height;
    m_bankBar->MoveResize(layout.bankBarX, layout.banks.y, kBarThickness, contentHeight);
    m_bankBar->SetLimits(layout.bankBarMin, layout.bankBarMax);
    m_informationBar->MoveResize(layout.information.x, layout.informationBarY, layout.information.width,
                                 kBarThickness);
    m_informationBar->SetLimits(layout.informationBarMin, layout.informationBarMax);
    m_presetBar->MoveResize(layout.presetBarX, layout.presets.y, kBarThickness, layout.presets.height);
    m_presetBar->SetLimits(layout.presetBarMin, layout.presetBarMax);
}

void CBankExplorer::SetFractions(double bankList, double information, double presetList) {
    m_bankListFraction = Clamped(bankList);
    m_informationFraction = Clamped(information);
    m_presetListFraction = Clamped(presetList);
    Layout();
}

void CBankExplorer::SizeChanged(int width, int height) {
    gui::CControl::SizeChanged(width, height);
    Layout();
}

void CBankExplorer::ChildChanged(gui::CControl* child) {
    if (child == m_banks) {
        SelectBank(m_banks->Selection());
        return;
    }
    // A dragged bar: its new place becomes the border's share of the room it divides.
    const PaneLayout layout =
        LayoutPanes(Width(), Height(), m_bankListFraction, m_informationFraction, m_presetListFraction);
    if (child == m_bankBar) {
        m_bankListFraction = FractionAt(*m_bankBar, kMargin, Width() - 2 * kMargin - kBarThickness);
    } else if (child == m_informationBar) {
        m_informationFraction = FractionAt(*m_informationBar, layout.information.y,
                                           layout.banks.height - kBarThickness);
    } else if (child == m_presetBar) {
        m_presetListFraction = FractionAt(*m_presetBar, layout.presets.x,
                                          layout.presets.width + layout.samples.width);
    } else {
        return;
    }
    Layout();
}

void CBankExplorer::ToolBarButtonClicked(gui::CToolBarButton* button) {
    if (!button || button->Command() != kLoadBankCommand) return;
    const std::optional<QString> path = gui::Dialogs().OpenFile(Widget(), kLoadBankTitle, kBankFilter, QString());
    if (path && !path->isEmpty()) LoadBank(*path);
}

int32_t CBankExplorer::LoadBank(const QString& path) {
    int32_t result = kRiffCannotOpen;
    if (HasBankServer()) {
        const int32_t banksBefore = m_banks->Count();
        result = CSoundFontLoader().LoadBank(QFile::encodeName(path).toStdString(), *m_bankServer);
        // Our own load notified us on this thread: the new name is listed already.
        DrainNews();
        if (result == kRiffOk && m_banks->Count() > banksBefore) {
            m_banks->SetSelection(m_banks->Count() - 1);
            SelectBank(m_banks->Count() - 1);
        }
    }
    // Shown with the server unlocked: the box waits for the user.
    if (result != kRiffOk)
        gui::ShowError(Widget(), QString("Error 0x%1 Occured While Loading '%2'").arg(result, 0, 16).arg(path));
    return result;
}

std::string CBankExplorer::ReadBankName(int32_t bank) {
    int32_t length = 0;
    if (m_bankServer->GetBankNameLength(bank, &length) != kBankOk || length < 0) return {};
    std::string name(static_cast<size_t>(length) + 1, '\0');
    if (m_bankServer->GetBankName(bank, name.data()) != kBankOk) return {};
    name.resize(static_cast<size_t>(length));
    return name;
}

void CBankExplorer::SelectBank(int32_t bank) {
    m_shownBank = bank;
    m_information->Clear();
    m_presets->Clear();
    if (bank < 0 || !HasBankServer()) return;
    std::vector<QString> lines, presets;
    {
        // Read in one go, then shown with the server free again.
        CMutexLock lock(*m_bankServer);
        int32_t count = 0;
        if (m_bankServer->GetBankInfoCount(bank, &count) == kBankOk) {
            for (int32_t entry = 0; entry < count; ++entry) {
                int32_t keyLength = 0, valueLength = 0;
                if (m_bankServer->GetBankInfoKeyLength(bank, entry, &keyLength) != kBankOk ||
                    m_bankServer->GetBankInfoValueLength(bank, entry, &valueLength) != kBankOk)
                    continue;
                std::string key(static_cast<size_t>(keyLength) + 1, '\0');
                std::string value(static_cast<size_t>(valueLength) + 1, '\0');
                m_bankServer->GetBankInfoKey(bank, entry, key.data());
                m_bankServer->GetBankInfoValue(bank, entry, value.data());
                lines.push_back(QString::fromLatin1(key.c_str()) + ": " + QString::fromLatin1(value.c_str()));
            }
        }
        if (m_bankServer->GetBankPresetCount(bank, &count) == kBankOk) {
            for (int32_t preset = 0; preset < count; ++preset) {
                int32_t length = 0;
                if (m_bankServer->GetBankPresetNameLength(bank, preset, &length) != kBankOk) continue;
                std::string name(static_cast<size_t>(length) + 1, '\0');
                m_bankServer->GetBankPresetName(bank, preset, name.data());
                presets.push_back(QString::fromLatin1(name.c_str()));
            }
        }
    }
    for (const QString& line : lines) m_information->AddEntry(line);
    for (const QString& name : presets) m_presets->AddEntry(name);
}

void CBankExplorer::OnBankAdded(int32_t bank) {
    const std::string name = ReadBankName(bank);
    QueueNews(&name, -1);
}

void CBankExplorer::OnBankInfoAdded(int32_t bank, int32_t) { QueueNews(nullptr, bank); }
void CBankExplorer::OnBankPresetAdded(int32_t bank, int32_t) { QueueNews(nullptr, bank); }

void CBankExplorer::QueueNews(const std::string* name, int32_t changedBank) {
    {
        std::lock_guard<std::mutex> lock(m_newsMutex);
        if (name) m_news.names.push_back(*name);
        if (changedBank >= 0) m_news.changedBanks.push_back(changedBank);
    }
    // Never touched from here: the lists follow when the UI thread's event loop comes round
    // (our own loads drain at once, after the loader returned and the server is free).
    if (Widget()) QMetaObject::invokeMethod(Widget(), [this] { DrainNews(); }, Qt::QueuedConnection);
}

void CBankExplorer::DrainNews() {
    PendingNews news;
    {
        std::lock_guard<std::mutex> lock(m_newsMutex);
        std::swap(news, m_news);
    }
    for (const std::string& name : news.names) m_banks->AddEntry(QString::fromLatin1(name.c_str()));
    if (std::find(news.changedBanks.begin(), news.changedBanks.end(), m_shownBank) != news.changedBanks.end())
        SelectBank(m_shownBank);
}

} // namespace bank_explorer
