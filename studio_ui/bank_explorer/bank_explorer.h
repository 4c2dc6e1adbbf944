// CBankExplorer: the host view in which the user loads SoundFont 2 banks into the bank server and
// browses them. A tool bar with the one button "Load Bank" (file-open dialog, then the SoundFont
// reader); below it four panes: "Banks" on the left, "Bank Information" (a "key: value" line per
// entry) at the top right, "Bank Presets" and "Bank Samples" side by side under it. Three size
// bars move the borders; each border is kept as a fraction (0.1 .. 0.9) of the room it divides, so
// the panes keep their shares when the view is resized.
//
// Threads: built, used and destroyed on the user-interface thread. As a bank client it is told
// of new banks on whichever thread added them, with the server and then this client locked: the
// names are read then (reading is allowed while the server notifies) and queued; the UI thread
// drains the queue at once when it is the one loading, otherwise through a queued call on the
// view's widget. No lock is held while a dialog is open: the server is locked only inside the
// loader and for the short reads of a selection.
//
// The view observes the server and never owns it (the host services do).
#pragma once

#include "gui/control.h"
#include "machine_interface/bank_client.h"

#include <QString>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CVeskHost;

namespace gui {
class CLabel;
class CListBox;
class CSizeBar;
class CToolBar;
} // namespace gui

namespace bank_explorer {

inline constexpr const char* kLoadBankTitle = "Load Bank";
inline constexpr const char* kBankFilter = "SoundFont Banks (*.sf2)";
inline constexpr int kLoadBankCommand = 1;

// Pixels of the layout.
inline constexpr int kToolBarHeight = 30;
inline constexpr int kMargin = 4;
inline constexpr int kBarThickness = 5;
inline constexpr int kCaptionHeight = 20;

// The borders' shares and their limits.
inline constexpr double kMinFraction = 0.1, kMaxFraction = 0.9;
inline constexpr double kDefaultBankListFraction = 0.2;    // of the width
inline constexpr double kDefaultInformationFraction = 0.5; // of the right side's height
inline constexpr double kDefaultPresetListFraction = 0.5;  // of the right side's width

// Where the panes and bars go for a view of the given size; Qt-free arithmetic the view applies.
struct PaneRect {
    int x = 0, y = 0, width = 0, height = 0;
};
struct PaneLayout {
    PaneRect banks, information, presets, samples; // each a caption with its list below
    int bankBarX = 0, informationBarY = 0, presetBarX = 0;
    // The ranges the bars may move in (their left or top edge), matching 0.1 .. 0.9.
    int bankBarMin = 0, bankBarMax = 0, informationBarMin = 0, informationBarMax = 0, presetBarMin = 0,
        presetBarMax = 0;
};
PaneLayout LayoutPanes(int width, int height, double bankListFraction, double informationFraction,
                       double presetListFraction);

class CBankExplorer : public gui::CControl, public CBankClient {
public:
    // The host hands out the bank server; without one the view shows nothing and loads nothing.
    explicit CBankExplorer(CVeskHost* host);
    ~CBankExplorer() override;

    // Makes the control "BankExplorer" (Verdana 10 point) and its children, connects to the
    // server and lists the banks it already holds.
    void Build(gui::CControl* parent, int x, int y, int width, int height);

    // What the "Load Bank" button does after the dialog: loads the file into the server and shows
    // a failure as "Error 0x%x Occured While Loading '%s'". Returns the loader's result. A loaded
    // bank is selected.
    int32_t LoadBank(const QString& path);
    // Shows a bank's entries and presets, read from the server (-1: none).
    void SelectBank(int32_t bank);

    double BankListFraction() const { return m_bankListFraction; }
    double InformationFraction() const { return m_informationFraction; }
    double PresetListFraction() const { return m_presetListFraction; }
    // From code; each is held to 0.1 .. 0.9.
    void SetFractions(double bankList, double information, double presetList);

    gui::CToolBar* ToolBar() const { return m_toolBar; }
    gui::CListBox* Banks() const { return m_banks; }
    gui::CListBox* Information() const { return m_information; }
    gui::CListBox* Presets() const { return m_presets; }
    gui::CListBox* Samples() const { return m_samples; }
    gui::CSizeBar* BankBar() const { return m_bankBar; }
    gui::CSizeBar* InformationBar() const { return m_informationBar; }
    gui::CSizeBar* PresetBar() const { return m_presetBar; }

    // gui::CControl
    void ToolBarButtonClicked(gui::CToolBarButton* button) override;
    void ChildChanged(gui::CControl* child) override;
    void SizeChanged(int width, int height) override;
    // CBankClient: any thread, server and this client locked.
    void OnBankAdded(int32_t bank) override;
    void OnBankInfoAdded(int32_t bank, int32_t entry) override;
    void OnBankPresetAdded(int32_t bank, int32_t preset) override;

private:
    struct PendingNews {
        std::vector<std::string> names; // banks added, in server order
        std::vector<int32_t> changedBanks;
    };
    void Layout();
    // UI thread: applies what the notifications queued.
    void DrainNews();
    void QueueNews(const std::string* name, int32_t changedBank);
    // The server's name of a bank; the server must be locked.
    std::string ReadBankName(int32_t bank);

    gui::CToolBar* m_toolBar = nullptr;
    gui::CLabel* m_banksCaption = nullptr;
    gui::CLabel* m_informationCaption = nullptr;
    gui::CLabel* m_presetsCaption = nullptr;
    gui::CLabel* m_samplesCaption = nullptr;
    gui::CListBox* m_banks = nullptr;
    gui::CListBox* m_information = nullptr;
    gui::CListBox* m_presets = nullptr;
    gui::CListBox* m_samples = nullptr;
    gui::CSizeBar* m_bankBar = nullptr;
    gui::CSizeBar* m_informationBar = nullptr;
    gui::CSizeBar* m_presetBar = nullptr;
    std::vector<std::unique_ptr<gui::CControl>> m_children;

    double m_bankListFraction = kDefaultBankListFraction;
    double m_informationFraction = kDefaultInformationFraction;
    double m_presetListFraction = kDefaultPresetListFraction;
    int32_t m_shownBank = -1;

    std::mutex m_newsMutex; // guards m_news between the notifying thread and the UI thread
    PendingNews m_news;
};

} // namespace bank_explorer
