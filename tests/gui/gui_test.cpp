// The desktop window driven as a user drives it: widgets found by their component names, the
// buildings chosen by a window dragged in the drawing view, commands run by clicking their
// buttons, message boxes read and answered.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "app/command_table.h"
#include "app/inifile.h"
#include "gui/session.h"

namespace pimu::gui {
namespace {

namespace fs = std::filesystem;
using cadlink::embedded::Drawing;

const fs::path kExample = fs::path(PIMU_SOURCE_DIR) / "examples" / "site.dxf";

// Entities of model space on a layer.
int CountOnLayer(const Drawing &d, const std::string &layer) {
    int n = 0;
    for (auto id : d.ModelSpace())
        if (d.Get(id).layer == layer) ++n;
    return n;
}

// Primitives the view shows on a layer.
int ShownOnLayer(view::Scene &scene, const std::string &layer) {
    const int l = scene.FindLayer(layer);
    int n = 0;
    for (const auto &p : scene.Primitives())
        if (p.layer == l && scene.Visible(p)) ++n;
    return n;
}

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("pimu-gui-test-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        fs::copy_file(fs::path(PIMU_SOURCE_DIR) / "examples" / "pimu.ini",
                      folder_ / "pimu-gui.ini");
        GuiOptions o;
        o.programFolder = folder_;
        o.drawing = kExample;
        session_ = std::make_unique<GuiSession>(o);
        session_->Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&session_->Drawing()));
    }
    void TearDown() override {
        session_.reset();
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    template <class W>
    W *Find(const char *name) {
        auto *w = session_->Main().findChild<W *>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Click(const char *button) {
        auto *b = Find<QPushButton>(button);
        ASSERT_TRUE(b->isEnabled()) << button;
        session_->Main()
            .findChild<QTabWidget *>("PageControl1")
            ->setCurrentIndex(session_->Form().FindControl(button) == nullptr ? 0 : TabOf(button));
        QTest::mouseClick(b, Qt::LeftButton);
    }
    static int TabOf(const char *name) {
        const auto *entry = app::FindControlEntry(name);
        return entry && entry->tab >= 0 ? entry->tab : 0;
    }

    // Drags a window around the buildings in the view and ends the selection with Enter, as soon
    // as the view asks for it.
    void SelectBuildingsWhenAsked() {
        QTimer::singleShot(0, [this] {
            DrawingView &v = session_->Drawing().View();
            ASSERT_TRUE(v.Picking());
            view::Box box;
            const Drawing &d = session_->Document().drawing();
            view::Scene &scene = v.Scene();
            for (const auto &e : scene.Entities()) {
                const std::string layer = d.Get(cadlink::embedded::EntityId{e.key}).layer;
                if (layer != "建物" && layer != "隣地建物") continue;
                for (int i = e.first; i < e.first + e.count; ++i)
                    box.Add(scene.Primitives()[static_cast<size_t>(i)].bounds);
            }
            const QPointF a = v.ToScreen({box.minX, box.maxY, 0}) + QPointF(-6, -6);
            const QPointF b = v.ToScreen({box.maxX, box.minY, 0}) + QPointF(6, 6);
            QTest::mousePress(&v, Qt::LeftButton, {}, a.toPoint());
            QTest::mouseMove(&v, ((a + b) / 2).toPoint());
            QTest::mouseRelease(&v, Qt::LeftButton, {}, b.toPoint());
            QTest::keyClick(&v, Qt::Key_Return);
        });
    }
    void Acquire() {
        SelectBuildingsWhenAsked();
        Click("Button2");
        ASSERT_TRUE(session_->Form().HasBuildingModel());
    }

    fs::path folder_;
    std::unique_ptr<GuiSession> session_;
};

TEST_F(GuiTest, TabsAreBuiltFromTheControlTableAndFollowTheModel) {
    app::TForm1 &f = session_->Form();
    for (const app::ControlEntry &entry : app::kFormControls) {
        if (entry.kind == app::ControlKind::PopupMenu) continue;  // made when it opens
        QWidget *w = session_->Main().Widget(entry.Name());
        ASSERT_NE(w, nullptr) << entry.Name();
        EXPECT_EQ(w->objectName().toStdString(), entry.Name());
        const app::Control *c = f.FindControl(entry.Name());
        EXPECT_EQ(w->toolTip().toStdString(), c->hint) << entry.Name();
        if (entry.kind != app::ControlKind::PageControl &&
            entry.kind != app::ControlKind::ProgressBar) {
            EXPECT_EQ(w->isEnabled(), c->enabled) << entry.Name();
        }
    }
    // Values from the settings file, shown; a change in the model reaches the widget.
    EXPECT_EQ(Find<QLineEdit>("Edit3")->text(), "35");
    EXPECT_EQ(Find<QPushButton>("Button3")->text(), "時刻");
    EXPECT_FALSE(Find<QPushButton>("Button3")->isEnabled());
    f.Edit4.text = "5.5";
    f.PublishChanges();
    EXPECT_EQ(Find<QLineEdit>("Edit4")->text(), "5.5");
    // What the user types reaches the model.
    auto *edit = Find<QLineEdit>("Edit12");
    edit->selectAll();
    QTest::keyClicks(edit, "80");
    EXPECT_EQ(f.Edit12.text, "80");
    QTest::mouseClick(Find<QCheckBox>("CheckBox11"), Qt::LeftButton);
    EXPECT_FALSE(f.CheckBox11.checked);
}

TEST_F(GuiTest, AcquireByWindowThenTimeOfDayAndIsochronesAppearInTheDrawing) {
    Acquire();
    EXPECT_TRUE(Find<QPushButton>("Button3")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("Button6")->isEnabled());
    const Drawing &d = session_->Document().drawing();

    Click("Button3");
    EXPECT_GT(CountOnLayer(d, "PIMU_JIKOKU"), 9);
    EXPECT_GT(ShownOnLayer(session_->Drawing().View().Scene(), "PIMU_JIKOKU"), 9);
    EXPECT_FALSE(Find<QPushButton>("Button10")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("Button3")->isEnabled());

    // 60 s steps keep the run short.
    session_->Main().findChild<QTabWidget *>("PageControl1")->setCurrentIndex(1);
    Find<QRadioButton>("RadioGroup5_2")->click();
    EXPECT_EQ(session_->Form().RadioGroup5.itemIndex, 2);
    Click("Button6");
    EXPECT_GT(CountOnLayer(d, "PIMU_TOUJI"), 0);
    EXPECT_GT(ShownOnLayer(session_->Drawing().View().Scene(), "PIMU_TOUJI"), 0);

    // Undo takes back the isochrones as one command; redo brings them again.
    const int touji = CountOnLayer(d, "PIMU_TOUJI");
    session_->Drawing().Undo();
    EXPECT_EQ(CountOnLayer(session_->Document().drawing(), "PIMU_TOUJI"), 0);
    EXPECT_GT(CountOnLayer(session_->Document().drawing(), "PIMU_JIKOKU"), 9);
    session_->Drawing().Redo();
    EXPECT_EQ(CountOnLayer(session_->Document().drawing(), "PIMU_TOUJI"), touji);
}

// The regulation check's controls: the zone list reaches the model, the button waits for the
// buildings, and both are kept in the settings file.
TEST_F(GuiTest, RegulationZoneListAndButton) {
    app::TForm1 &f = session_->Form();
    EXPECT_FALSE(Find<QPushButton>("Button26")->isEnabled());
    auto *zones = Find<QComboBox>("ComboBox2");
    ASSERT_EQ(zones->count(), static_cast<int>(f.ComboBox2.items.size()));
    EXPECT_EQ(zones->itemText(zones->count() - 1).toStdString(), "直接指定");
    EXPECT_EQ(zones->currentIndex(), f.ComboBox2.itemIndex);
    // The window keeps its width however long the zone names are.
    EXPECT_LT(zones->sizeHint().width(), 300);
    zones->setCurrentIndex(4);
    emit zones->activated(4);
    EXPECT_EQ(f.ComboBox2.itemIndex, 4);
    EXPECT_EQ(f.ComboBox2.text, zones->itemText(4).toStdString());
    Acquire();
    EXPECT_TRUE(Find<QPushButton>("Button26")->isEnabled());
}

TEST_F(GuiTest, Button7StopsALongIsochroneRunAndNothingIsInserted) {
    Acquire();
    const std::size_t before = session_->Document().drawing().ModelSpace().size();
    app::TForm1 &f = session_->Form();
    // Pressed as a user would: while the extent pass moves the bar (Label2 still empty), and once
    // the counting of the instants shows its first time.
    for (const char *phase : {"", "時刻："}) {
        SCOPED_TRACE(phase);
        bool pressed = false;
        int movedAfter = 0;  // bar moves the window showed after the stop was handled
        const int id = f.Subscribe([&](const app::Control &c) {
            if (c.name == "ProgressBar1" && pressed && !f.RunFlag && f.ProgressBar1.position > 0)
                ++movedAfter;
            if (pressed || !f.RunFlag) return;
            const bool inPhase = *phase ? c.name == "Label2" && c.caption.rfind(phase, 0) == 0
                                        : c.name == "ProgressBar1" && f.Label2.caption.empty() &&
                                              f.ProgressBar1.position > 2;
            if (!inPhase) return;
            pressed = true;
            QTimer::singleShot(
                0, [this] { QTest::mouseClick(Find<QPushButton>("Button7"), Qt::LeftButton); });
        });
        Click("Button6");
        f.Unsubscribe(id);
        EXPECT_TRUE(pressed);
        EXPECT_EQ(movedAfter, 0);  // the pass ends at the stop
        EXPECT_EQ(session_->Document().drawing().ModelSpace().size(), before);
        EXPECT_FALSE(Find<QPushButton>("Button7")->isEnabled());
        EXPECT_TRUE(Find<QPushButton>("Button6")->isEnabled());
        EXPECT_FALSE(f.RunFlag);
    }
}

TEST_F(GuiTest, PointsPickedInTheViewGetTheirShadowTimes) {
    Acquire();
    // Three points clicked one after another, the first beside the centre of a point mark of the
    // example (it snaps there); Enter ends the picking.
    DrawingView &v = session_->Drawing().View();
    const std::vector<geometry::TAcadPoint> wanted = {
        {34000 + 120, 36000 - 90, 0}, {37000, 37500, 0}, {40500, 38500, 0}};
    v.ZoomAt(v.ToScreen({37000, 37000, 0}), 4);
    std::size_t clicked = 0;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (!v.Picking()) return;
        if (clicked == wanted.size()) {
            QTest::keyClick(&v, Qt::Key_Return);
            timer.stop();
            return;
        }
        QTest::mouseClick(&v, Qt::LeftButton, {}, v.ToScreen(wanted[clicked++]).toPoint());
    });
    timer.start();
    session_->Host().answerAll = true;
    Click("Button21");
    EXPECT_EQ(clicked, wanted.size());
    // Sorted along x: the snapped mark centre exactly, the free points within two pixels.
    const app::TStringGrid &g = session_->Form().StringGrid2;
    ASSERT_GE(g.RowCount(), 4);
    EXPECT_EQ(g.Cell(1, 1), "34000");
    EXPECT_EQ(g.Cell(2, 1), "36000");
    const double pixels2 = v.ToWorld(QPointF(2, 0)).x - v.ToWorld(QPointF(0, 0)).x;
    for (int r = 2; r <= 3; ++r) {
        EXPECT_NEAR(std::stod(g.Cell(1, r)), wanted[static_cast<size_t>(r - 1)].x, pixels2);
        EXPECT_NEAR(std::stod(g.Cell(2, r)), wanted[static_cast<size_t>(r - 1)].y, pixels2);
    }
    EXPECT_TRUE(g.RowCount() == 4 || g.Cell(1, 4).empty());
    for (int r = 1; r <= 3; ++r) EXPECT_FALSE(g.Cell(4, r).empty()) << r;  // time in shadow
    // What the grid shows is what the model holds.
    auto *table = Find<QTableWidget>("StringGrid2");
    EXPECT_EQ(table->item(0, 1)->text().toStdString(), g.Cell(1, 1));
    EXPECT_EQ(table->item(2, 4)->text().toStdString(), g.Cell(4, 3));
}

TEST_F(GuiTest, AFieldThatIsNoNumberGivesAMessageAndLeavesTheDrawing) {
    Acquire();
    const Drawing before = session_->Document().drawing();
    auto *edit = Find<QLineEdit>("Edit4");
    edit->setText("4,0m");
    emit edit->textEdited(edit->text());  // as pasted
    EXPECT_EQ(session_->Form().Edit4.text, "4,0m");
    std::string title, text;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle().toStdString();
        text = box->text().toStdString();
        box->accept();
    });
    Click("Button3");
    EXPECT_EQ(title, app::kAppTitle);
    EXPECT_NE(text.find("4,0m"), std::string::npos) << text;
    const Drawing &after = session_->Document().drawing();
    ASSERT_EQ(after.ModelSpace(), before.ModelSpace());
    for (auto id : after.ModelSpace()) EXPECT_TRUE(after.Get(id) == before.Get(id));
    EXPECT_EQ(after.Layers().size(), before.Layers().size());
    EXPECT_EQ(session_->Document().undoGroups(), 0u);
}

TEST_F(GuiTest, ClosingWritesTheSettingsAndAsksFirstWhileACommandRuns) {
    auto *edit = Find<QLineEdit>("Edit2");
    edit->selectAll();
    QTest::keyClicks(edit, "9.0");
    session_->Main().move(30, 40);
    // A close asked for while the isochrones run: "no" keeps the run going, "yes" stops it and
    // closes when the command has ended.
    Acquire();
    int asked = 0;
    const int id = session_->Form().Subscribe([&](const app::Control &c) {
        if (c.name != "ProgressBar1" || session_->Form().ProgressBar1.position < 1 || asked > 1)
            return;
        ++asked;
        session_->Host().answers.push_back(asked == 1 ? app::MessageResult::No
                                                      : app::MessageResult::Yes);
        QTimer::singleShot(0, [this] { session_->Main().close(); });
    });
    session_->Host().answerAll = true;
    Click("Button6");
    session_->Form().Unsubscribe(id);
    EXPECT_EQ(asked, 2);
    ASSERT_GE(session_->Host().messages.size(), 2u);
    EXPECT_NE(session_->Host().messages[0].find("中止して終了しますか"), std::string::npos);
    QTest::qWait(20);
    EXPECT_TRUE(session_->Closed());
    const app::IniFile ini = app::IniFile::Load(folder_ / "pimu-gui.ini");
    EXPECT_EQ(ini.ReadString("Jikoku", "kaishi", ""), "9.0");
    EXPECT_EQ(ini.ReadString("Common", "ido2", ""), "41");
    EXPECT_TRUE(ini.Read("DrawingWindow", "Width").has_value());
    EXPECT_TRUE(ini.Read("Form", "Left").has_value());
}

TEST_F(GuiTest, TheWindowsPlaceIsRestoredAndKeptOnTheScreen) {
    auto restart = [this] {
        session_.reset();
        GuiOptions o;
        o.programFolder = folder_;
        session_ = std::make_unique<GuiSession>(o);
        session_->Show();
    };
    session_->Main().move(30, 40);
    ASSERT_TRUE(session_->Close());
    restart();
    EXPECT_EQ(session_->Main().pos(), QPoint(30, 40));

    // Saved on a larger screen than this one: on the screen again, on every side.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QPoint saved :
         {QPoint(5000, 4000), QPoint(-900, -700), QPoint(screen.width() - 100, 10)}) {
        SCOPED_TRACE(saved.x());
        ASSERT_TRUE(session_->Close());
        app::IniFile ini = app::IniFile::Load(folder_ / "pimu-gui.ini");
        ini.WriteInteger("Form", "Left", saved.x());
        ini.WriteInteger("Form", "Top", saved.y());
        ini.WriteInteger("DrawingWindow", "Left", saved.x());
        ini.WriteInteger("DrawingWindow", "Top", saved.y());
        ini.Save(folder_ / "pimu-gui.ini");
        restart();
        for (QWidget *w : {static_cast<QWidget *>(&session_->Main()),
                           static_cast<QWidget *>(&session_->Drawing())}) {
            const QRect at(w->pos(), w->size());
            EXPECT_TRUE(screen.contains(at))
                << w->objectName().toStdString() << " at " << at.x() << "," << at.y();
        }
    }
}

// Every command of the command table, pressed on its tab as a user presses it, in the table's
// order (the buildings first, the point lists before the maps of their rows), with the picks
// answered in the drawing view: each one does what its row says it presents.
TEST_F(GuiTest, EveryCommandButtonOfEveryTabDoesSomething) {
    app::TForm1 &f = session_->Form();
    DrawingView &v = session_->Drawing().View();
    // The plots of the equation of time read their tables beside the program; a month of days
    // keeps them short (the plot ends with the shorter table).
    for (const char *name : {app::kEqTimeTable2024File, app::kEqTimeTable2025File}) {
        std::string table;
        for (int k = 0; k < 31; ++k) table += (k % 2 ? "1.5\r\n" : "-2.25\r\n");
        std::ofstream(folder_ / name, std::ios::binary) << table;
    }
    // Short runs: 60 s steps for the isochrones and the wall, 10 minutes for the regulation.
    f.RadioGroup5.itemIndex = 2;
    f.RadioGroup6.itemIndex = 2;
    f.Edit53.text = "10";
    f.PublishChanges();
    session_->Host().answerAll = true;

    // What the view is asked while one command runs, and how it answers.
    struct Picks {
        std::vector<std::string> selectLayers;     // a window around these, or a click on the site
        std::vector<geometry::TAcadPoint> points;  // clicked in turn, then Enter
        int asked = 0;
    } picks;
    const Drawing &d0 = session_->Document().drawing();
    auto boxOf = [&](const std::vector<std::string> &layers) {
        view::Box box;
        view::Scene &scene = v.Scene();
        for (const auto &e : scene.Entities()) {
            const std::string layer = d0.Get(cadlink::embedded::EntityId{e.key}).layer;
            if (std::find(layers.begin(), layers.end(), layer) == layers.end()) continue;
            for (int i = e.first; i < e.first + e.count; ++i)
                box.Add(scene.Primitives()[static_cast<size_t>(i)].bounds);
        }
        return box;
    };
    QTimer answer;
    answer.setInterval(5);
    std::size_t nextPoint = 0;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        using Asked = DrawingView::Asked;
        const Asked asked = v.Asking();
        if (asked == Asked::Nothing) return;
        ++picks.asked;
        v.ZoomExtents();
        const auto click = [&](geometry::TAcadPoint p) {
            QTest::mouseClick(&v, Qt::LeftButton, {}, v.ToScreen(p).toPoint());
        };
        switch (asked) {
            case Asked::Selection:
                if (picks.selectLayers == std::vector<std::string>{"敷地"}) {
                    // The site's south side; results drawn along it (the conforming buildings)
                    // are hidden, as a user isolates the layer to click the line.
                    for (int l = 0; l < static_cast<int>(v.Scene().Layers().size()); ++l)
                        v.Scene().SetLayerOn(
                            l, v.Scene().Layers()[static_cast<size_t>(l)].name == "敷地");
                    click({40000, 10000, 0});
                    for (int l = 0; l < static_cast<int>(v.Scene().Layers().size()); ++l)
                        v.Scene().SetLayerOn(l, true);
                } else {
                    const view::Box box = boxOf(picks.selectLayers);
                    const QPointF a = v.ToScreen({box.minX, box.maxY, 0}) + QPointF(-6, -6);
                    const QPointF b = v.ToScreen({box.maxX, box.minY, 0}) + QPointF(6, 6);
                    QTest::mousePress(&v, Qt::LeftButton, {}, a.toPoint());
                    QTest::mouseMove(&v, ((a + b) / 2).toPoint());
                    QTest::mouseRelease(&v, Qt::LeftButton, {}, b.toPoint());
                }
                QTest::keyClick(&v, Qt::Key_Return);
                break;
            case Asked::Entity:
                // The wall line runs along the neighbour's outline and the results drawn so far:
                // only its layer on, as a user isolates it to click the line.
                for (int l = 0; l < static_cast<int>(v.Scene().Layers().size()); ++l)
                    v.Scene().SetLayerOn(l,
                                         v.Scene().Layers()[static_cast<size_t>(l)].name == "壁面");
                click({35000, 62000, 0});
                for (int l = 0; l < static_cast<int>(v.Scene().Layers().size()); ++l)
                    v.Scene().SetLayerOn(l, true);
                break;
            case Asked::Point:
            case Asked::Angle:
                if (nextPoint < picks.points.size()) {
                    click(picks.points[nextPoint++]);
                    if (asked == Asked::Angle && nextPoint < picks.points.size())
                        click(picks.points[nextPoint++]);
                } else {
                    QTest::keyClick(&v, Qt::Key_Return);
                }
                break;
            case Asked::Placement:
                QTest::mouseClick(&v, Qt::LeftButton, {}, QPoint(12, 12));
                break;
            case Asked::Nothing:
                break;
        }
    });
    answer.start();

    std::set<std::string_view> pressed;
    for (const app::CommandEntry &c : app::kFormCommands) {
        const std::string name(app::ButtonName(c));
        SCOPED_TRACE(name);
        picks = {};
        nextPoint = 0;
        switch (c.command) {
            case app::FormCommand::Acquire:
                picks.selectLayers = {"建物", "隣地建物"};
                break;
            case app::FormCommand::Boundary:
            case app::FormCommand::Regulation:
                picks.selectLayers = {"敷地"};
                break;
            case app::FormCommand::SkyCompare:
                picks.selectLayers = {"敷地"};
                picks.points = {{40000, 5000, 0}};  // near the side on the road
                break;
            case app::FormCommand::PointsFromMarks:
            case app::FormCommand::SkyPointsFromMarks:
                picks.selectLayers = {"測定点"};
                break;
            case app::FormCommand::PointsPick:
            case app::FormCommand::SkyPointsPick:
                picks.points = {{30000, 52000, 0}, {60000, 50000, 0}};
                break;
            case app::FormCommand::SkyMapPickA:
            case app::FormCommand::SkyMapPickB:
                picks.points = {{30000, 6000, 0}};
                break;
            case app::FormCommand::SkyMapBatchA:
            case app::FormCommand::SkyMapBatchB:
                picks.points = {{0, -20000, 0}};
                break;
            case app::FormCommand::TrueNorth:
                picks.points = {{0, 0, 0}, {0, 10000, 0}};
                f.Edit12.text = "0";
                break;
            case app::FormCommand::SkyMapRowA:
            case app::FormCommand::SkyMapRowB:
                Find<QTableWidget>("StringGrid1")->setCurrentCell(1, 1);
                break;
            default:
                break;
        }
        // Results that are there already are cleared, so a recomputation shows.
        const auto clearGrid = [&](app::TStringGrid &g, int firstComputed) {
            for (int r = 1; r < g.RowCount(); ++r)
                for (int col = firstComputed; col < g.ColCount(); ++col) g.Cell(col, r).clear();
        };
        if (c.shows == "StringGrid1") clearGrid(f.StringGrid1, 5);
        if (c.shows == "StringGrid2") clearGrid(f.StringGrid2, 4);
        if (c.shows == "Memo1" && c.result == app::Presented::Text) f.Memo1.lines.clear();
        if (c.shows == "Edit45") f.Edit45.text.clear();
        f.PublishChanges();

        const std::size_t entities = session_->Document().drawing().ModelSpace().size();
        const std::size_t messages = session_->Host().messages.size();
        auto *b = Find<QPushButton>(name.c_str());
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(b->isEnabled());
        auto *tabs = Find<QTabWidget>("PageControl1");
        tabs->setCurrentIndex(TabOf(name.c_str()));
        if (b->isVisible())
            QTest::mouseClick(b, Qt::LeftButton);
        else
            b->click();  // a hidden button, as the window's own code presses it
        pressed.insert(app::ButtonName(c));

        if (c.result == app::Presented::Message) {
            EXPECT_GT(session_->Host().messages.size(), messages) << "no message";
        } else {
            for (std::size_t i = messages; i < session_->Host().messages.size(); ++i)
                ADD_FAILURE() << "message: " << session_->Host().messages[i];
        }
        if (c.picks != 0) {
            EXPECT_GT(picks.asked, 0) << "no prompt shown";
        }
        const std::size_t now = session_->Document().drawing().ModelSpace().size();
        const auto gridFilled = [](const app::TStringGrid &g, int col) {
            return g.RowCount() > 1 && !g.Cell(col, 1).empty();
        };
        switch (c.result) {
            case app::Presented::Drawing:
                EXPECT_GT(now, entities) << "nothing drawn";
                break;
            case app::Presented::Preview:
                EXPECT_TRUE(f.HasBuildingModel());
                break;
            case app::Presented::Grid:
                EXPECT_TRUE(c.shows != "StringGrid1" || gridFilled(f.StringGrid1, 5));
                EXPECT_TRUE(c.shows != "StringGrid2" || gridFilled(f.StringGrid2, 4));
                break;
            case app::Presented::Text:
                EXPECT_TRUE(c.shows != "Memo1" || !f.Memo1.lines.empty());
                EXPECT_TRUE(c.shows != "Edit45" || !f.Edit45.text.empty());
                EXPECT_TRUE(c.shows != "Edit12" || f.Edit12.text != "0") << f.Edit12.text;
                break;
            case app::Presented::Message:
                break;  // its message is its result
        }
    }
    answer.stop();
    EXPECT_EQ(pressed.size(), std::size(app::kFormCommands));
}

// Every button of the window does something: it starts a command of the command table or has a
// handler of the window's own; the one exception is the button that is never shown.
TEST_F(GuiTest, EveryButtonHasAHandler) {
    for (const app::ControlEntry &entry : app::kFormControls) {
        if (entry.kind != app::ControlKind::Button) continue;
        if (!entry.visible && !entry.enabled) continue;  // Button4, never shown
        EXPECT_TRUE(session_->Main().ClickHandler(entry.Name())) << entry.Name();
    }
}

// Under an X server: the window as it shows on the screen is not blank. With PIMU_SCREENSHOTS
// set to a folder, every tab and the drawing window with a result are written there.
TEST_F(GuiTest, Screenshot) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server";
    session_->Host().SetKeepOnTop(false);
    Acquire();
    Click("Button3");
    QTest::qWait(200);
    QScreen *screen = QGuiApplication::primaryScreen();
    const QImage shot = screen->grabWindow(0).toImage();
    std::set<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 3)
        for (int x = 0; x < shot.width(); x += 3) colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 20u);
    const char *dir = std::getenv("PIMU_SCREENSHOTS");
    if (!dir) return;
    auto *tabs = Find<QTabWidget>("PageControl1");
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QTest::qWait(100);
        session_->Main().grab().save(QString("%1/gui-tab%2.png").arg(dir).arg(i));
    }
    session_->Drawing().grab().save(QString("%1/gui-drawing.png").arg(dir));
}

}  // namespace
}  // namespace pimu::gui

int main(int argc, char **argv) {
    // Without an X server (listing the tests at build time, CI) the window is drawn offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    pimu::gui::SetUpApplication(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
