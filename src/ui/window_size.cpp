#include "ui/window_size.h"

#include <QEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace tw {

QSize clientSizeFor(QSize outer, const QMargins& decorations)
{
    return QSize(std::max(1, outer.width() - decorations.left() - decorations.right()),
                 std::max(1, outer.height() - decorations.top() - decorations.bottom()));
}

namespace {

void centreOnScreen(QWidget& window, QSize outer)
{
    if (QScreen* screen = window.screen()) {
        const QRect area = screen->availableGeometry();
        window.move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
    }
}

// Watches a window until its decorations are known, then sets the inside
// size that gives the outer size and removes itself.
class OuterSizeKeeper final : public QObject {
public:
    OuterSizeKeeper(QWidget& window, QSize outer) : QObject(&window), window_(window), outer_(outer)
    {
        applied_ = window.size();
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &window_) {
            switch (event->type()) {
            case QEvent::Show:
                // The decorations may arrive a moment after the window maps.
                QTimer::singleShot(0, this, [this] { check(); });
                QTimer::singleShot(100, this, [this] { check(); });
                break;
            case QEvent::Move:
            case QEvent::Resize:
                if (window_.isVisible())
                    check();
                break;
            default:
                break;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void check()
    {
        if (done_)
            return;
        if (window_.size() != applied_) {
            // Resized by the user (or the program) in the meantime: theirs.
            finish();
            return;
        }
        const QRect frame = window_.frameGeometry();
        const QRect inside = window_.geometry();
        const QMargins decorations(inside.left() - frame.left(), inside.top() - frame.top(),
                                   frame.right() - inside.right(), frame.bottom() - inside.bottom());
        if (decorations.isNull())
            return;
        applied_ = clientSizeFor(outer_, decorations);
        done_ = true;
        window_.resize(applied_);
        centreOnScreen(window_, outer_);
        finish();
    }

    void finish()
    {
        done_ = true;
        window_.removeEventFilter(this);
        deleteLater();
    }

    QWidget& window_;
    QSize outer_;
    QSize applied_;
    bool done_ = false;
};

} // namespace

void applyOuterSize(QWidget& window, QSize outer)
{
    window.resize(outer);
    centreOnScreen(window, outer);
    new OuterSizeKeeper(window, outer);
}

} // namespace tw
