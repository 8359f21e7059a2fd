// The view of a drawing: paints a scene of the view library (pan, wheel zoom, zoom to extents)
// and answers the CAD link's requests for user input from the mouse, as a CAD would: a point
// with object snaps, an entity, a window or crossing selection, an angle by two points and the
// placement of a block that follows the cursor. Each request runs a nested event loop until the
// user answers; Escape cancels it.
#pragma once

#include <QEventLoop>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cadlink/embedded/input.h"
#include "view/hittest.h"
#include "view/scene.h"

namespace pimu::gui {

using cadlink::embedded::EntityPick;
using cadlink::embedded::EntityQuery;
using geometry::TAcadPoint;

class DrawingView : public QWidget, public cadlink::embedded::IInputSource {
    Q_OBJECT
public:
    explicit DrawingView(QWidget *parent = nullptr);

    // A new scene; the view stays where it is unless `fit` (or it was never placed).
    void SetScene(view::Scene scene, bool fit);
    view::Scene &Scene() { return scene_; }
    void ZoomExtents();
    // Zooms by `factor` keeping the drawing point under `at` (widget pixels) in place.
    void ZoomAt(QPointF at, double factor);
    void PanBy(QPointF pixels);
    QPointF ToScreen(TAcadPoint p) const;
    TAcadPoint ToWorld(QPointF p) const;
    double Scale() const { return scale_; }  // pixels per drawing unit

    // What a pick needs from the drawing: the handle of a scene entity (its key).
    std::function<std::string(std::int64_t key)> handleOf;
    // The scene of a block inserted at the origin, for the placement that follows the cursor.
    std::function<std::optional<view::Scene>(const std::string &block)> blockScene;
    // Shows a prompt of a pick (the command-line strip).
    std::function<void(const std::string &)> prompt;

    // IInputSource: the user's answers from the mouse.
    std::optional<TAcadPoint> PickPoint(const std::string &prompt) override;
    std::optional<double> PickAngle(const std::string &prompt) override;
    std::optional<EntityPick> PickEntity(const std::string &prompt) override;
    std::optional<std::vector<EntityQuery>> SelectOnScreen(const std::string &prompt) override;
    std::optional<TAcadPoint> PlacementPoint(const std::string &blockName) override;

    bool Picking() const { return mode_ != Mode::None; }
    // What the pick in progress asks for.
    enum class Asked { Nothing, Point, Entity, Selection, Angle, Placement };
    Asked Asking() const;
    void CancelPick();  // Escape
    void FinishPick();  // Enter: ends a selection; other picks end with no answer
    // Pixels around the cursor that count for picks and snaps.
    static constexpr int kAperture = 8;

    // The primitives painted by the last paint (for the frame benchmark).
    std::size_t PaintedCount() const { return painted_; }
    // Paints the scene into `painter` over the widget's rectangle.
    void PaintScene(class QPainter &painter);

signals:
    void cursorAt(double x, double y);

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *) override;
    void mouseMoveEvent(QMouseEvent *) override;
    void mouseReleaseEvent(QMouseEvent *) override;
    void wheelEvent(QWheelEvent *) override;
    void keyPressEvent(QKeyEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void hideEvent(QHideEvent *) override;

private:
    enum class Mode { None, Point, Entity, Select, Angle, Place };
    bool Run(Mode mode, const std::string &text);  // false: cancelled
    void Answer();
    std::optional<TAcadPoint> Snapped(QPointF at, view::SnapKind *kind = nullptr) const;
    void AddWindow(QPointF a, QPointF b);
    void PaintOverlay(QPainter &p);

    view::Scene scene_;
    bool placed_ = false;
    double scale_ = 1.0;   // pixels per unit
    TAcadPoint centre_{};  // drawing point at the widget's centre

    // Pan with the middle button, or the left button when nothing is asked.
    bool panning_ = false;
    QPointF panFrom_;

    Mode mode_ = Mode::None;
    QPointer<QEventLoop> loop_;
    bool cancelled_ = false;
    QPointF cursor_;
    std::optional<QPointF> anchor_;  // first corner of a window, first point of an angle
    bool dragged_ = false;
    std::optional<TAcadPoint> point_;
    std::optional<TAcadPoint> angleFrom_;
    std::optional<double> angle_;
    std::optional<EntityPick> entity_;
    std::vector<EntityQuery> queries_;
    std::set<int> selected_;  // scene entities chosen so far, highlighted
    std::optional<view::Scene> ghost_;

    std::vector<int> visible_;
    std::vector<TAcadPoint> flat_;
    std::size_t painted_ = 0;
};

}  // namespace pimu::gui
