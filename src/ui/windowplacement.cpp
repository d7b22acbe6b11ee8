#include "windowplacement.h"

#include <QApplication>
#include <QDialog>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace WindowPlacement {

QRect centredWithin(const QRect& owner, const QSize& size, const QRect& screen)
{
    QRect r(QPoint(0, 0), size);
    r.moveCenter(owner.center());
    if (r.right() > screen.right())
        r.moveRight(screen.right());
    if (r.bottom() > screen.bottom())
        r.moveBottom(screen.bottom());
    if (r.left() < screen.left())
        r.moveLeft(screen.left());
    if (r.top() < screen.top())
        r.moveTop(screen.top());
    return r;
}

void placeOver(QWidget* window, const QWidget* owner)
{
    if (!window || !owner)
        return;
    const QWidget* top = owner->window();
    // Qt on X11 writes the transient hint (WM_TRANSIENT_FOR) only for a dialog, and only
    // by that hint does a window manager keep the window above its owner: a plain window
    // goes behind the disabled owner as soon as the owner is clicked. The decorations of
    // a plain window stay (a dialog would lose minimize and maximize).
    if (window->windowType() == Qt::Window && !window->isVisible()) {
        Qt::WindowFlags hints = window->windowFlags() & ~Qt::WindowType_Mask;
        if (!hints)
            hints = Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                | Qt::WindowCloseButtonHint;
        window->setWindowFlags(hints | Qt::Dialog);
    }
    window->winId(); // the native window the transient hint belongs to
    top->window()->winId();
    if (QWindow* handle = window->windowHandle())
        handle->setTransientParent(top->windowHandle());
    // A dialog centres itself over its transient parent, within the screen, as it opens.
    if (window->isVisible() || qobject_cast<QDialog*>(window))
        return;
    window->ensurePolished();
    if (!window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    QSize size = window->size().expandedTo(window->minimumSizeHint());
    // The frame the window manager adds is not known before the first show: the
    // owner's own frame stands in for it.
    const QSize frame = top->frameGeometry().size() - top->geometry().size();
    const QScreen* screen = top->screen() ? top->screen() : QApplication::primaryScreen();
    const QRect available = screen->availableGeometry();
    const QRect placed = centredWithin(top->frameGeometry(), size + frame, available);
    window->move(placed.topLeft());
}

void showOver(QWidget* window, const QWidget* owner)
{
    placeOver(window, owner);
    window->show();
    window->raise();
    window->activateWindow();
}

QWidget* ownerOf(const QWidget* window)
{
    const QWindow* handle = window ? window->windowHandle() : nullptr;
    const QWindow* parent = handle ? handle->transientParent() : nullptr;
    if (!parent)
        return nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowHandle() == parent)
            return w;
    }
    return nullptr;
}

} // namespace WindowPlacement
