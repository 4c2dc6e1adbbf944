// The bank explorer over a host's bank server: "Load Bank" through the scripted file dialog, the
// bank list, the information and preset panes on selection, the error text of a refused file,
// banks added by others (before the view, and from another thread), and the three size bars held
// to 0.1 .. 0.9 of their room.
#include "gui/list_box.h"
#include "gui/size_bar.h"
#include "gui/tool_bar.h"
#include "gui/window.h"
#include "machine_interface/bank_server.h"
#include "machine_interface/vesk_host.h"
#include "studio_ui/bank_explorer/bank_explorer.h"
#include "tests/gui/gui_test_support.h"
#include "tests/host_machines/soundfont_builder.h"

#include <QApplication>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <thread>

namespace {

namespace fs = std::filesystem;
using bank_explorer::CBankExplorer;

const char* const kTimGM6mb = "/usr/share/sounds/sf2/TimGM6mb.sf2";

QStringList Entries(gui::CListBox* box) {
    QStringList entries;
    for (int i = 0; i < box->Count(); ++i) entries << box->EntryText(i);
    return entries;
}

class BankExplorerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() /
                   ("tamborel_bank_explorer_" + std::to_string(getpid()) + "_" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_folder);
        ASSERT_EQ(m_host.GetBankServer(&m_server), 0);
    }
    void TearDown() override {
        m_view.reset();
        fs::remove_all(m_folder);
    }
    void Open(int width = 800, int height = 500) {
        m_window.CreateWindow(nullptr, "Bank Explorer", 0, 0, width, height, false);
        m_view = std::make_unique<CBankExplorer>(&m_host);
        m_view->Build(&m_window, 0, 0, width, height);
        m_window.Show();
        m_view->Show();
        m_stage.Settle();
    }
    QString Write(const sf_test::Bytes& bytes, const std::string& name) {
        const fs::path path = m_folder / name;
        sf_test::WriteBytes(path, bytes);
        return QString::fromStdString(path.string());
    }
    // Presses "Load Bank" with the dialog answering path.
    void PressLoadBank(const QString& path) {
        m_stage.dialogs.openFiles.push_back(path);
        gui::CToolBarButton* button = m_view->ToolBar()->Button(0);
        QTest::mouseClick(button->Widget(), Qt::LeftButton, {}, QPoint(button->Width() / 2, button->Height() / 2));
        m_stage.Settle();
    }
    void ClickBank(int row) {
        QListWidget* list = m_view->Banks()->List();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
        m_stage.Settle();
    }
    // Drags a bar by (dx, dy) from its middle; the pointer's path is fixed in the view, so the
    // bar's own moves do not shift it.
    void Drag(gui::CSizeBar* bar, int dx, int dy) {
        QWidget* view = m_view->Widget();
        const QPoint start = bar->Widget()->mapTo(view, QPoint(bar->Width() / 2, bar->Height() / 2));
        QTest::mousePress(bar->Widget(), Qt::LeftButton, {}, bar->Widget()->mapFrom(view, start));
        for (const QPoint& on : {start + QPoint(dx / 2, dy / 2), start + QPoint(dx, dy)})
            QTest::mouseMove(bar->Widget(), bar->Widget()->mapFrom(view, on));
        QTest::mouseRelease(bar->Widget(), Qt::LeftButton, {}, bar->Widget()->mapFrom(view, start + QPoint(dx, dy)));
        m_stage.Settle();
    }

    gui_test::Stage m_stage;
    CVeskHost m_host{44100, 256, 0, nullptr};
    CHostBankServer* m_server = nullptr;
    fs::path m_folder;
    gui::CWindow m_window;
    std::unique_ptr<CBankExplorer> m_view;
};

TEST_F(BankExplorerTest, LoadBankAsksForASoundFontAndListsTheBank) {
    Open();
    EXPECT_EQ(m_view->ToolBar()->ButtonCount(), 1);
    EXPECT_EQ(m_view->ToolBar()->Button(0)->ToolTip(), "Load Bank");
    EXPECT_EQ(m_view->Font().family(), "Verdana");
    EXPECT_EQ(m_view->Font().pointSize(), 10);

    sf_test::CBankFile file;
    file.presetData = {sf_test::PresetHeaders({"Warm Pad", "Bright Lead", "Deep Bass"})};
    PressLoadBank(Write(file.Build(), "pads.sf2"));
    EXPECT_EQ(m_stage.dialogs.asked, std::vector<QString>{"open: Load Bank"});
    EXPECT_EQ(Entries(m_view->Banks()), QStringList{"Test Bank"});
    EXPECT_EQ(m_server->BankCount(), 1);
    // The new bank is shown at once.
    EXPECT_EQ(Entries(m_view->Presets()), (QStringList{"Warm Pad", "Bright Lead", "Deep Bass"}));
    EXPECT_EQ(m_view->Samples()->Count(), 0) << "sample names are not read";

    // A cancelled dialog loads nothing.
    gui::CToolBarButton* button = m_view->ToolBar()->Button(0);
    QTest::mouseClick(button->Widget(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(m_server->BankCount(), 1);
}

TEST_F(BankExplorerTest, SelectingABankShowsItsInformationAndPresets) {
    sf_test::CBankFile first;
    first.info.push_back(sf_test::Chunk("ICOP", sf_test::Text("Free to use")));
    sf_test::CBankFile second;
    second.info[2] = sf_test::Chunk("INAM", sf_test::Text("Drums"));
    second.info[0] = sf_test::Chunk("ifil", sf_test::Version(2, 4));
    second.presetData = {sf_test::PresetHeaders({"Standard Kit"})};
    Open();
    PressLoadBank(Write(first.Build(), "first.sf2"));
    PressLoadBank(Write(second.Build(), "second.sf2"));
    ASSERT_EQ(Entries(m_view->Banks()), (QStringList{"Test Bank", "Drums"}));
    EXPECT_EQ(Entries(m_view->Presets()), QStringList{"Standard Kit"});

    ClickBank(0);
    EXPECT_EQ(m_view->Banks()->Selection(), 0);
    EXPECT_EQ(Entries(m_view->Information()),
              (QStringList{"SoundFont Version: 2.1", "Sound Engine: EMU8000", "Copyright: Free to use"}));
    EXPECT_EQ(Entries(m_view->Presets()), (QStringList{"Grand Piano", "Strings"}));
    ClickBank(1);
    EXPECT_EQ(Entries(m_view->Information()), (QStringList{"SoundFont Version: 2.4", "Sound Engine: EMU8000"}));
    EXPECT_EQ(Entries(m_view->Presets()), QStringList{"Standard Kit"});
}

TEST_F(BankExplorerTest, ARefusedFileShowsTheErrorWithCodeAndPath) {
    sf_test::CBankFile file;
    file.info[0] = sf_test::Chunk("ifil", sf_test::Version(3, 0));
    Open();
    const QString damaged = Write(file.Build(), "version3.sf2");
    PressLoadBank(damaged);
    const QString missing = QString::fromStdString((m_folder / "missing.sf2").string());
    PressLoadBank(missing);
    EXPECT_EQ(m_stage.dialogs.asked,
              (std::vector<QString>{"open: Load Bank", "error: Error 0x8 Occured While Loading '" + damaged + "'",
                                    "open: Load Bank", "error: Error 0x7 Occured While Loading '" + missing + "'"}));
    EXPECT_EQ(m_view->Banks()->Count(), 0);
    EXPECT_FALSE(m_server->IsLocked()) << "the box is shown with the server free";
}

TEST_F(BankExplorerTest, BanksAddedBeforeTheViewAndFromAnotherThreadAreListed) {
    {
        CMutexLock lock(*m_server);
        ASSERT_EQ(m_server->AddBank("Earlier", nullptr), 0);
    }
    Open();
    EXPECT_EQ(Entries(m_view->Banks()), QStringList{"Earlier"});

    std::thread machine([this] {
        CMutexLock lock(*m_server);
        int32_t bank = -1;
        m_server->AddBank("From A Machine", &bank);
        m_server->AddBankPreset(bank, "Organ", nullptr);
    });
    machine.join();
    EXPECT_EQ(m_view->Banks()->Count(), 1) << "nothing is touched off the UI thread";
    m_stage.Settle();
    EXPECT_EQ(Entries(m_view->Banks()), (QStringList{"Earlier", "From A Machine"}));
    ClickBank(1);
    EXPECT_EQ(Entries(m_view->Presets()), QStringList{"Organ"});

    // A preset added to the shown bank later shows up too.
    {
        CMutexLock lock(*m_server);
        m_server->AddBankPreset(1, "Choir", nullptr);
    }
    m_stage.Settle();
    EXPECT_EQ(Entries(m_view->Presets()), (QStringList{"Organ", "Choir"}));
}

TEST_F(BankExplorerTest, SizeBarsDefaultToTheirSharesAndClampToTheRange) {
    Open(800, 500);
    EXPECT_DOUBLE_EQ(m_view->BankListFraction(), 0.2);
    EXPECT_DOUBLE_EQ(m_view->InformationFraction(), 0.5);
    EXPECT_DOUBLE_EQ(m_view->PresetListFraction(), 0.5);
    // The bank list takes a fifth of the width between the margins (less the bar).
    const int widthRoom = 800 - 2 * bank_explorer::kMargin - bank_explorer::kBarThickness;
    EXPECT_NEAR(m_view->BankBar()->Position(), bank_explorer::kMargin + 0.2 * widthRoom, 1.0);
    EXPECT_EQ(m_view->Banks()->X() + m_view->Banks()->Width(), m_view->BankBar()->Position());
    EXPECT_EQ(m_view->Information()->X(), m_view->BankBar()->Position() + bank_explorer::kBarThickness);
    EXPECT_NEAR(m_view->Presets()->Width(), m_view->Samples()->Width(), 1) << "half and half below the information";

    // Dragged far past either end, each bar stops at its limit.
    Drag(m_view->BankBar(), -700, 0);
    EXPECT_DOUBLE_EQ(m_view->BankListFraction(), 0.1);
    Drag(m_view->BankBar(), 900, 0);
    EXPECT_DOUBLE_EQ(m_view->BankListFraction(), 0.9);
    Drag(m_view->InformationBar(), 0, -600);
    EXPECT_DOUBLE_EQ(m_view->InformationFraction(), 0.1);
    Drag(m_view->InformationBar(), 0, 600);
    EXPECT_DOUBLE_EQ(m_view->InformationFraction(), 0.9);
    Drag(m_view->PresetBar(), -900, 0);
    EXPECT_DOUBLE_EQ(m_view->PresetListFraction(), 0.1);
    // A drag within the range moves the share with it.
    m_view->SetFractions(0.2, 0.5, 0.5);
    const int before = m_view->BankBar()->Position();
    Drag(m_view->BankBar(), 79, 0);
    EXPECT_EQ(m_view->BankBar()->Position(), before + 79);
    EXPECT_NEAR(m_view->BankListFraction(), (before + 79.0 - bank_explorer::kMargin) / widthRoom, 1e-9);
    // From code the same limits hold, and the shares survive a resize.
    m_view->SetFractions(-3.0, 0.05, 2.0);
    EXPECT_DOUBLE_EQ(m_view->BankListFraction(), 0.1);
    EXPECT_DOUBLE_EQ(m_view->InformationFraction(), 0.1);
    EXPECT_DOUBLE_EQ(m_view->PresetListFraction(), 0.9);
    m_view->SetFractions(0.3, 0.5, 0.5);
    m_view->MoveResize(0, 0, 1000, 600);
    m_stage.Settle();
    EXPECT_NEAR(m_view->BankBar()->Position(), bank_explorer::kMargin + 0.3 * (1000 - 8 - 5), 1.0);
}

TEST_F(BankExplorerTest, ScreenshotWithTimGM6mb) {
    if (!fs::exists(kTimGM6mb)) GTEST_SKIP() << kTimGM6mb << " is not installed (tools/install-deps.sh)";
    Open(900, 560);
    PressLoadBank(kTimGM6mb);
    ASSERT_EQ(Entries(m_view->Banks()), QStringList{"TimGM6mb1.sf2"});
    EXPECT_EQ(m_view->Presets()->Count(), 136);
    ClickBank(0);
    gui_test::Screenshot(m_window.Widget(), "bank_explorer");
}

} // namespace
