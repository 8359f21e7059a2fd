#include "gui/drawing_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <variant>

#include "view/colors.h"
#include "view/hittest.h"

namespace pimu::gui {

namespace {

constexpr double kWheelStep = 1.2;  // zoom factor of one wheel notch
constexpr double kFitMargin = 0.05;
constexpr double kClickSlack = 4.0;  // pixels a press may move and still be a click

QColor ColorOf(int aci) {
    const view::Rgb c = view::AciColor(aci, view::Background::Dark);
    return QColor::fromRgbF(static_cast<float>(c.r), static_cast<float>(c.g),
                            static_cast<float>(c.b));
}

template <class... F>
struct Overload : F... {
    using F::operator()...;
};

}  // namespace

DrawingView::DrawingView(QWidget *parent) : QWidget(parent) {
    setObjectName("DrawingView");
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 240);
    setCursor(Qt::CrossCursor);
}

void DrawingView::SetScene(view::Scene scene, bool fit) {
    scene_ = std::move(scene);
    selected_.clear();
    if (fit || !placed_) ZoomExtents();
    update();
}

void DrawingView::ZoomExtents() {
    const view::Box b = scene_.Extents();
    if (b.Empty() || width() <= 0 || height() <= 0) {
        centre_ = {};
        scale_ = 1.0;
    } else {
        const double w = std::max(b.maxX - b.minX, 1e-9), h = std::max(b.maxY - b.minY, 1e-9);
        scale_ = std::min(width() / w, height() / h) * (1.0 - 2 * kFitMargin);
        centre_ = {(b.minX + b.maxX) / 2, (b.minY + b.maxY) / 2, 0};
        placed_ = true;
    }
    update();
}

void DrawingView::ZoomAt(QPointF at, double factor) {
    const TAcadPoint before = ToWorld(at);
    scale_ = std::clamp(scale_ * factor, 1e-9, 1e9);
    const TAcadPoint after = ToWorld(at);
    centre_.x += before.x - after.x;
    centre_.y += before.y - after.y;
    update();
}

void DrawingView::PanBy(QPointF pixels) {
    centre_.x -= pixels.x() / scale_;
    centre_.y += pixels.y() / scale_;
    update();
}

QPointF DrawingView::ToScreen(TAcadPoint p) const {
    return {width() / 2.0 + (p.x - centre_.x) * scale_,
            height() / 2.0 - (p.y - centre_.y) * scale_};
}

TAcadPoint DrawingView::ToWorld(QPointF p) const {
    return {centre_.x + (p.x() - width() / 2.0) / scale_,
            centre_.y - (p.y() - height() / 2.0) / scale_, 0.0};
}

// ---- Painting -----------------------------------------------------------------------------

void DrawingView::paintEvent(QPaintEvent *) {
    QPainter p(this);
    PaintScene(p);
    PaintOverlay(p);
}

void DrawingView::PaintScene(QPainter &p) {
    const view::Rgb paper = view::PaperColor(view::Background::Dark);
    p.fillRect(rect(), QColor::fromRgbF(static_cast<float>(paper.r), static_cast<float>(paper.g),
                                        static_cast<float>(paper.b)));
    p.setRenderHint(QPainter::Antialiasing, false);
    const TAcadPoint lo = ToWorld(QPointF(0, height())), hi = ToWorld(QPointF(width(), 0));
    view::Box box;
    box.Add(lo);
    box.Add(hi);
    scene_.Query(box, visible_);
    painted_ = visible_.size();
    const auto &prims = scene_.Primitives();
    QPolygonF poly;
    for (int i : visible_) {
        const view::Primitive &prim = prims[static_cast<std::size_t>(i)];
        const bool chosen = selected_.count(prim.entity) > 0;
        QPen pen(ColorOf(prim.color));
        pen.setCosmetic(true);
        pen.setWidthF(chosen ? 2.0 : 1.0);
        if (chosen || scene_.Dashed(prim)) pen.setStyle(Qt::DashLine);
        p.setPen(pen);
        auto stroke = [&](bool closed) {
            poly.clear();
            for (const TAcadPoint &q : flat_) poly << ToScreen(q);
            if (closed && !poly.isEmpty()) poly << poly.front();
            p.drawPolyline(poly);
        };
        std::visit(Overload{
                       [&](const view::Line &l) { p.drawLine(ToScreen(l.a), ToScreen(l.b)); },
                       [&](const view::Polyline &l) {
                           flat_.clear();
                           view::Flatten(l, flat_);
                           stroke(l.closed);
                       },
                       [&](const view::Arc &a) {
                           flat_.clear();
                           view::Flatten(a, flat_);
                           stroke(false);
                       },
                       [&](const view::Text &t) {
                           const double px = t.height * scale_;
                           if (px < 2.0) return;
                           QFont f = font();
                           f.setPixelSize(std::max(1, static_cast<int>(std::lround(px))));
                           const QFontMetricsF m(f);
                           const QString s = QString::fromStdString(t.text);
                           const double w = m.horizontalAdvance(s);
                           int h = t.hAlign, v = t.vAlign;
                           if (h == 4) h = 1, v = 2;
                           double dx = 0, dy = 0;
                           if (h == 1) dx = -w / 2;
                           if (h == 2) dx = -w;
                           if (v == 1) dy = -0.2 * px;
                           if (v == 2) dy = px / 2;
                           if (v == 3) dy = px;
                           p.save();
                           p.translate(ToScreen(t.at));
                           p.rotate(-t.rotation * 180.0 / M_PI);
                           p.scale(t.widthFactor, 1.0);
                           p.setFont(f);
                           p.drawText(QPointF(dx, dy), s);
                           p.restore();
                       },
                       [&](const view::Dot &d) { p.drawPoint(ToScreen(d.at)); },
                   },
                   prim.shape);
    }
}

void DrawingView::PaintOverlay(QPainter &p) {
    if (mode_ == Mode::None) return;
    p.setRenderHint(QPainter::Antialiasing, true);
    if (mode_ == Mode::Select && anchor_) {
        const bool crossing = cursor_.x() < anchor_->x();
        QPen pen(crossing ? QColor(80, 220, 120) : QColor(90, 150, 255));
        pen.setStyle(crossing ? Qt::DashLine : Qt::SolidLine);
        p.setPen(pen);
        p.setBrush(crossing ? QColor(80, 220, 120, 40) : QColor(90, 150, 255, 40));
        p.drawRect(QRectF(*anchor_, cursor_).normalized());
        p.setBrush(Qt::NoBrush);
    }
    if (mode_ == Mode::Angle && angleFrom_) {
        p.setPen(QPen(QColor(255, 220, 90), 1.0));
        p.drawLine(ToScreen(*angleFrom_), cursor_);
    }
    if (mode_ == Mode::Place && ghost_) {
        const TAcadPoint at = ToWorld(cursor_);
        p.save();
        p.setPen(QPen(QColor(255, 220, 90), 1.0));
        for (const view::Primitive &prim : ghost_->Primitives()) {
            flat_.clear();
            if (const auto *l = std::get_if<view::Line>(&prim.shape)) {
                flat_ = {l->a, l->b};
            } else if (const auto *pl = std::get_if<view::Polyline>(&prim.shape)) {
                view::Flatten(*pl, flat_);
                if (pl->closed && !flat_.empty()) flat_.push_back(flat_.front());
            } else if (const auto *a = std::get_if<view::Arc>(&prim.shape)) {
                view::Flatten(*a, flat_);
            } else {
                continue;
            }
            QPolygonF poly;
            for (TAcadPoint q : flat_) poly << ToScreen({q.x + at.x, q.y + at.y, 0});
            p.drawPolyline(poly);
        }
        p.restore();
    }
    // The pick box, and the snap marker for point picks.
    p.setPen(QPen(QColor(255, 255, 255), 1.0));
    p.setBrush(Qt::NoBrush);
    if (mode_ == Mode::Entity || mode_ == Mode::Select) {
        p.drawRect(
            QRectF(cursor_.x() - kAperture, cursor_.y() - kAperture, 2 * kAperture, 2 * kAperture));
    }
    if (mode_ == Mode::Point || mode_ == Mode::Angle) {
        view::SnapKind kind{};
        if (const auto s = Snapped(cursor_, &kind)) {
            const QPointF c = ToScreen(*s);
            p.setPen(QPen(QColor(255, 200, 0), 2.0));
            if (kind == view::SnapKind::Center)
                p.drawEllipse(c, 6.0, 6.0);
            else
                p.drawRect(QRectF(c.x() - 6, c.y() - 6, 12, 12));
        }
    }
}

// ---- Mouse and keys -------------------------------------------------------------------------

std::optional<TAcadPoint> DrawingView::Snapped(QPointF at, view::SnapKind *kind) const {
    const auto hit = view::SnapPoint(scene_, ToWorld(at), kAperture / scale_);
    if (!hit) return std::nullopt;
    if (kind) *kind = hit->kind;
    return hit->at;
}

void DrawingView::mousePressEvent(QMouseEvent *e) {
    setFocus();
    cursor_ = e->position();
    if (e->button() == Qt::MiddleButton || (e->button() == Qt::LeftButton && !Picking())) {
        panning_ = true;
        panFrom_ = e->position();
        return;
    }
    if (e->button() == Qt::RightButton) {
        FinishPick();
        return;
    }
    if (e->button() != Qt::LeftButton) return;
    const QPointF at = e->position();
    switch (mode_) {
        case Mode::Point: {
            point_ = Snapped(at).value_or(ToWorld(at));
            Answer();
            break;
        }
        case Mode::Angle: {
            const TAcadPoint q = Snapped(at).value_or(ToWorld(at));
            if (!angleFrom_) {
                angleFrom_ = q;
                update();
            } else {
                angle_ = std::atan2(q.y - angleFrom_->y, q.x - angleFrom_->x);
                Answer();
            }
            break;
        }
        case Mode::Entity: {
            if (const auto hit = view::PickEntity(scene_, ToWorld(at), kAperture / scale_)) {
                const auto &ent = scene_.Entities()[static_cast<std::size_t>(hit->entity)];
                entity_ = EntityPick{handleOf ? handleOf(ent.key) : std::string(), ToWorld(at)};
                Answer();
            }
            break;
        }
        case Mode::Select:
            if (anchor_) {  // the second corner of a window started by a click
                AddWindow(*anchor_, at);
                anchor_.reset();
            } else {
                anchor_ = at;
                dragged_ = false;
            }
            break;
        case Mode::Place:
            point_ = ToWorld(at);
            Answer();
            break;
        case Mode::None:
            break;
    }
}

void DrawingView::mouseMoveEvent(QMouseEvent *e) {
    if (panning_) {
        PanBy(e->position() - panFrom_);
        panFrom_ = e->position();
    }
    if (anchor_ && (e->position() - *anchor_).manhattanLength() > kClickSlack) dragged_ = true;
    cursor_ = e->position();
    const TAcadPoint w = ToWorld(cursor_);
    emit cursorAt(w.x, w.y);
    if (Picking()) update();
}

void DrawingView::mouseReleaseEvent(QMouseEvent *e) {
    if (panning_ && (e->button() == Qt::MiddleButton || e->button() == Qt::LeftButton)) {
        panning_ = false;
        return;
    }
    if (mode_ != Mode::Select || e->button() != Qt::LeftButton || !anchor_) return;
    const QPointF at = e->position();
    if (dragged_ || (at - *anchor_).manhattanLength() > kClickSlack) {
        AddWindow(*anchor_, at);
        anchor_.reset();
        return;
    }
    // A click: the entity under the cursor, else the first corner of a window.
    if (const auto hit = view::PickEntity(scene_, ToWorld(at), kAperture / scale_)) {
        const auto &ent = scene_.Entities()[static_cast<std::size_t>(hit->entity)];
        EntityQuery q;
        q.kind = EntityQuery::Kind::Handles;
        q.text = handleOf ? handleOf(ent.key) : std::string();
        queries_.push_back(q);
        selected_.insert(hit->entity);
        anchor_.reset();
        update();
    }
}

void DrawingView::AddWindow(QPointF a, QPointF b) {
    EntityQuery q;
    // Dragged to the right: a window; to the left: a crossing selection, as in a CAD.
    q.kind = b.x() >= a.x() ? EntityQuery::Kind::Window : EntityQuery::Kind::Crossing;
    q.p1 = ToWorld(a);
    q.p2 = ToWorld(b);
    queries_.push_back(q);
    const auto chosen = q.kind == EntityQuery::Kind::Window
                            ? view::WindowSelect(scene_, q.p1, q.p2)
                            : view::CrossingSelect(scene_, q.p1, q.p2);
    selected_.insert(chosen.begin(), chosen.end());
    if (prompt) prompt("選択: " + std::to_string(selected_.size()));
    update();
}

void DrawingView::wheelEvent(QWheelEvent *e) {
    const double notches = e->angleDelta().y() / 120.0;
    if (notches != 0.0) ZoomAt(e->position(), std::pow(kWheelStep, notches));
}

void DrawingView::keyPressEvent(QKeyEvent *e) {
    switch (e->key()) {
        case Qt::Key_Escape:
            CancelPick();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            FinishPick();
            return;
        case Qt::Key_Home:
            ZoomExtents();
            return;
        default:
            QWidget::keyPressEvent(e);
    }
}

void DrawingView::resizeEvent(QResizeEvent *) {
    if (!placed_) ZoomExtents();
}

void DrawingView::hideEvent(QHideEvent *) {
    // Nothing can be picked in a hidden view.
    CancelPick();
}

// ---- Requests for input ----------------------------------------------------------------------

void DrawingView::CancelPick() {
    if (!Picking()) return;
    cancelled_ = true;
    if (loop_) loop_->quit();
}

// Enter (or the right button): a selection ends with what was chosen; a point, angle, entity or
// placement asked for gets no answer, as a CAD's empty input (the continuous picks end on it).
void DrawingView::FinishPick() {
    if (mode_ == Mode::Select)
        Answer();
    else
        CancelPick();
}

void DrawingView::Answer() {
    if (loop_) loop_->quit();
}

DrawingView::Asked DrawingView::Asking() const {
    switch (mode_) {
        case Mode::Point:
            return Asked::Point;
        case Mode::Entity:
            return Asked::Entity;
        case Mode::Select:
            return Asked::Selection;
        case Mode::Angle:
            return Asked::Angle;
        case Mode::Place:
            return Asked::Placement;
        case Mode::None:
            break;
    }
    return Asked::Nothing;
}

bool DrawingView::Run(Mode mode, const std::string &text) {
    if (Picking()) return false;  // one request at a time
    mode_ = mode;
    cancelled_ = false;
    anchor_.reset();
    angleFrom_.reset();
    point_.reset();
    angle_.reset();
    entity_.reset();
    queries_.clear();
    selected_.clear();
    if (prompt) prompt(text);
    if (QWidget *w = window()) {
        w->show();
        w->raise();
        w->activateWindow();
    }
    setFocus();
    cursor_ = mapFromGlobal(QCursor::pos());
    update();
    QEventLoop loop;
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;
    mode_ = Mode::None;
    anchor_.reset();
    ghost_.reset();
    selected_.clear();
    update();
    if (cancelled_ && prompt) prompt("*キャンセル*");
    return !cancelled_;
}

std::optional<TAcadPoint> DrawingView::PickPoint(const std::string &text) {
    if (!Run(Mode::Point, text)) return std::nullopt;
    return point_;
}

std::optional<double> DrawingView::PickAngle(const std::string &text) {
    if (!Run(Mode::Angle, text)) return std::nullopt;
    return angle_;
}

std::optional<EntityPick> DrawingView::PickEntity(const std::string &text) {
    if (!Run(Mode::Entity, text)) return std::nullopt;
    return entity_;
}

std::optional<std::vector<EntityQuery>> DrawingView::SelectOnScreen(const std::string &text) {
    if (!Run(Mode::Select, text.empty() ? std::string("オブジェクトを選択:") : text))
        return std::nullopt;
    return queries_;
}

std::optional<TAcadPoint> DrawingView::PlacementPoint(const std::string &blockName) {
    if (blockScene) ghost_ = blockScene(blockName);
    if (!Run(Mode::Place, "挿入位置を指定: " + blockName)) return std::nullopt;
    return point_;
}

}  // namespace pimu::gui
